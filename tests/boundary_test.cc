// Block boundaries: reads of every size, so that tokens at the limit fall
// across a block's end at every offset, on every scanning path. End-to-end
// cases cannot place a read boundary; these feed memory in chunks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <string>
#include <vector>

#include "run.h"
#include "scan_internal.h"

namespace tally {
namespace {

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result run_chunked(const std::string& input, std::size_t chunk, ScanPath path) {
  static char out_buf[kReportMax];
  static char err_buf[kMessageMax];
  Text out{out_buf, sizeof out_buf, 0, false};
  Text err{err_buf, sizeof err_buf, 0, false};
  MemoryInput m{reinterpret_cast<const unsigned char*>(input.data()), input.size(), chunk};
  const int status = run_filter(memory_input(&m), path, &out, &err);
  EXPECT_FALSE(out.overflow);
  EXPECT_FALSE(err.overflow);
  return {status, std::string(out.data, out.len), std::string(err.data, err.len)};
}

std::vector<ScanPath> supported_paths() {
  std::vector<ScanPath> paths;
  for (ScanPath p : {ScanPath::kScalar, ScanPath::kAvx2, ScanPath::kAvx512}) {
    if (path_supported(p)) paths.push_back(p);
  }
  return paths;
}

// Every chunk size from 1 to past the token length puts a read boundary at
// every offset inside the tokens below.
constexpr std::size_t kMaxChunk = 300;

TEST(Boundary, LongestTokensAcrossEveryOffset) {
  const std::string input = "x " + std::string(254, 'K') + " 12" + std::string(252, '7') + "ab\n" +
                            std::string(200, 'k') + std::string(54, 'K') + ".";
  const std::string want_out =
      "1 5 769\n"
      "Total 11 different characters, 5 most used characters:\n"
      "No. 0: K\t\t308\n"
      "No. 1: 7\t\t252\n"
      "No. 2: k\t\t200\n"
      "No. 3:  \t\t2\n"
      "No. 4: \\n\t\t1\n"
      "\n"
      "Total 3 different identifiers, 3 most used identifiers:\n"
      "No. 0: " +
      std::string(254, 'k') +
      "\t\t2\n"
      "No. 1: x\t\t1\n"
      "No. 2: ab\t\t1\n"
      "\n"
      "Total 1 different numbers, 1 most used numbers:\n"
      "No. 0: 12" +
      std::string(252, '7') + "\t\t1\n";
  for (ScanPath path : supported_paths()) {
    for (std::size_t chunk = 1; chunk <= kMaxChunk; ++chunk) {
      const Result r = run_chunked(input, chunk, path);
      ASSERT_EQ(r.status, 0) << "chunk " << chunk;
      ASSERT_EQ(r.err, "");
      ASSERT_EQ(r.out, want_out) << "chunk " << chunk;
    }
  }
}

TEST(Boundary, TooLongTokensAcrossEveryOffset) {
  struct Case {
    std::string input;
    std::string err;
  };
  const Case cases[] = {
      {"ab " + std::string(255, 'Q') + " cd",
       "Word " + std::string(255, 'q') + " too long!! Exit.\n"},
      {"ab " + std::string(300, 'Q'), "Word " + std::string(255, 'q') + " too long!! Exit.\n"},
      {"7 " + std::string(255, '8') + "\n",
       "Number " + std::string(255, '8') + " too long!! Exit.\n"},
      {"12" + std::string(255, 'z'), "Word " + std::string(255, 'z') + " too long!! Exit.\n"},
      {std::string(255, '5') + "abc", "Number " + std::string(255, '5') + " too long!! Exit.\n"},
  };
  for (const Case& c : cases) {
    for (ScanPath path : supported_paths()) {
      for (std::size_t chunk = 1; chunk <= kMaxChunk; ++chunk) {
        const Result r = run_chunked(c.input, chunk, path);
        ASSERT_EQ(r.status, 1) << "chunk " << chunk;
        ASSERT_EQ(r.out, "");
        ASSERT_EQ(r.err, c.err) << "chunk " << chunk;
      }
    }
  }
}

// Whole reads: the same tokens straddle, at every offset, the end of the
// first read (after which a large input is read on a second thread) and the
// end of the first block that thread reads, so that a carried token meets a
// full read behind it.
TEST(Boundary, TokensAcrossFullReads) {
  for (ScanPath path : supported_paths()) {
    for (const std::size_t boundary : {kBufferSize, kBufferSize + kBlockSize}) {
      for (std::size_t before = boundary - 256; before <= boundary + 1; ++before) {
        const std::string input = std::string(before, '\n') + std::string(254, 'w') + " 42";
        const Result r = run_chunked(input, 0, path);
        ASSERT_EQ(r.status, 0) << "offset " << before;
        ASSERT_EQ(r.out.substr(0, r.out.find('\n') + 1),
                  std::to_string(before) + " 2 " + std::to_string(before + 257) + "\n");
        ASSERT_NE(r.out.find("No. 0: " + std::string(254, 'w') + "\t\t1\n"), std::string::npos);

        const Result stop = run_chunked(std::string(before, '.') + std::string(255, '8'), 0, path);
        ASSERT_EQ(stop.status, 1) << "offset " << before;
        ASSERT_EQ(stop.err, "Number " + std::string(255, '8') + " too long!! Exit.\n");
      }
    }
  }
}

// A spelling's 32-bit count is moved into the tables before it can wrap;
// with the threshold lowered, the moves happen often and must lose nothing.
TEST(Spelling, CountsSpillIntoTheTables) {
  const std::uint32_t saved = g_spelling_spill;
  g_spelling_spill = 3;
  std::string input;
  for (int i = 0; i < 10; ++i) input += "Go go 7 ";
  const std::string want =
      "0 30 80\n"
      "Total 5 different characters, 5 most used characters:\n"
      "No. 0:  \t\t30\n"
      "No. 1: o\t\t20\n"
      "No. 2: 7\t\t10\n"
      "No. 3: G\t\t10\n"
      "No. 4: g\t\t10\n"
      "\n"
      "Total 1 different identifiers, 1 most used identifiers:\n"
      "No. 0: go\t\t20\n"
      "\n"
      "Total 1 different numbers, 1 most used numbers:\n"
      "No. 0: 7\t\t10\n";
  for (ScanPath path : supported_paths()) {
    for (std::size_t chunk : {std::size_t{0}, std::size_t{5}}) {
      const Result r = run_chunked(input, chunk, path);
      EXPECT_EQ(r.out, want) << "chunk " << chunk;
    }
  }
  g_spelling_spill = saved;
}

// More spellings than the spelling tables take: eight letters, each one of
// e, E, t or T, give 65536 spellings of 256 identifiers, alone and after 32
// L's. Those met after a table is full are counted directly; every path
// must agree with the byte-at-a-time one.
TEST(Spelling, MoreSpellingsThanTheTableHolds) {
  std::string input;
  std::uint32_t x = 12345;
  for (int i = 0; i < 150000; ++i) {
    x = x * 1103515245u + 12345u;
    const std::uint32_t r = x >> 8;
    if (i % 4 == 0) input += std::string(32, 'L');
    for (int b = 0; b < 8; ++b) input += "eEtT"[(r >> (2 * b)) & 3u];
    input += i % 16 == 0 ? " " + std::to_string(r % 1000) + "\n" : " ";
  }
  const Result want = run_chunked(input, 0, ScanPath::kScalar);
  ASSERT_EQ(want.status, 0);
  for (ScanPath path : supported_paths()) {
    EXPECT_EQ(run_chunked(input, 0, path).out, want.out);
  }
}

// The SIMD paths tally separators in 32-bit histograms, folded into 64-bit
// counts before they can wrap; with the threshold lowered, the folds happen
// at every list and must lose nothing, on one thread and on two.
TEST(Separators, FoldBeforeTheyWrap) {
  const std::uint64_t saved = g_fold_separators_after;
  g_fold_separators_after = 1;
  std::string input;
  for (int i = 0; input.size() < kBufferSize + 3 * kBlockSize; ++i) {
    input += "a,b;; c" + std::string(static_cast<std::size_t>(i % 7), '.') + "\n";
  }
  const Result want = run_chunked(input, 0, ScanPath::kScalar);
  for (ScanPath path : supported_paths()) {
    EXPECT_EQ(run_chunked(input, 0, path).out, want.out);
  }
  g_fold_separators_after = saved;
}

std::ptrdiff_t read_fd(void* ctx, unsigned char* dst, std::size_t cap, int* err) {
  const ssize_t n = read(*static_cast<int*>(ctx), dst, cap);
  if (n < 0) *err = errno;
  return n;
}

// A stop on a pipe that stays open: the reader thread may be waiting in a
// read that never returns, so the run ends without it. In a child process,
// since the reader is left behind for the process to end.
TEST(ReaderDeathTest, StopDoesNotWaitForABlockedReader) {
  if (best_path() == ScanPath::kScalar) GTEST_SKIP() << "no reader thread on this CPU";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto stop_on_open_pipe = [] {
    alarm(20);   // a run that waits for the reader ends here, failed
    g_cpus = 3;  // a CPU to spare for the pipe's writer
    int fds[2];
    if (pipe(fds) != 0 || fcntl(fds[1], F_SETPIPE_SZ, 1 << 20) < 0) std::_Exit(2);
    // A whole first read, so that the reader thread starts, then a token
    // too long, then nothing, with the pipe still open.
    const std::string text = std::string(kBufferSize, ' ') + std::string(300, 'x') + " ";
    if (write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
      std::_Exit(3);
    }
    static char out_buf[kReportMax];
    static char err_buf[kMessageMax];
    Text out{out_buf, sizeof out_buf, 0, false};
    Text err{err_buf, sizeof err_buf, 0, false};
    const int status = run_filter(Input{read_fd, &fds[0], true}, best_path(), &out, &err);
    const bool stopped = status == 1 && std::string(err.data, err.len) ==
                                            "Word " + std::string(255, 'x') + " too long!! Exit.\n";
    std::_Exit(stopped ? 0 : 1);
  };
  EXPECT_EXIT(stop_on_open_pipe(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tally
