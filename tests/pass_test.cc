// The counting pass on every scanning path, against the fuzzers' plain
// model: a file split between two or three threads with its cuts at every
// offset, reads of every small size, workers whose tables fill at once, and
// every stop, including reads that fail at every offset.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>
#include <string>
#include <vector>

#include "longest_tokens.h"
#include "memory_input.h"
#include "model.h"
#include "scan.h"

namespace tally {
namespace {

std::vector<const Scanner*> all_paths() {
  std::vector<const Scanner*> all;
  for (std::size_t i = 0; i < kScannerCount; ++i) all.push_back(&kScanners[i]);
  return all;
}

class Pass : public ::testing::TestWithParam<const Scanner*> {
 protected:
  void SetUp() override {
    if (!GetParam()->supported()) GTEST_SKIP() << GetParam()->name << " is not supported here";
  }

  // A run over `input` on this test's path. With `cpus` > 1 the input is a
  // file, split however small it is.
  static RunResult run(const std::string& input, int cpus, std::size_t read_size = 0,
                       int worker_keys = 0, std::size_t fail_at = SIZE_MAX) {
    RunOptions options;
    options.scanner = GetParam();
    options.cpus = cpus;
    options.split_from = 1;
    options.read_size = read_size;
    options.worker_keys = worker_keys;
    MemoryShape shape;
    shape.seekable = cpus > 1;
    shape.fail_at = fail_at;
    return run_in_memory(input, shape, options);
  }

  static void expect(const RunResult& got, const ModelResult& want, const std::string& where) {
    ASSERT_EQ(got.err, want.err) << where;
    ASSERT_EQ(got.out, want.out) << where;
    ASSERT_EQ(got.status, want.status) << where;
  }

  // Split runs agree with the model with a cut at every offset of `text`:
  // the cuts fall at a half or at thirds of the input, and separators
  // before or after the text move it under them.
  static void expect_model_at_every_cut(const std::string& text, int worker_keys = 0) {
    for (std::size_t pad = 0; pad <= text.size(); ++pad) {
      for (const bool before : {true, false}) {
        const std::string input =
            before ? std::string(pad, ' ') + text : text + std::string(pad, '\n');
        const ModelResult want =
            model_run(reinterpret_cast<const unsigned char*>(input.data()), input.size());
        const int cpus = 2 + static_cast<int>(pad % 2);
        expect(run(input, cpus, 1 + pad % 67, worker_keys), want,
               "padding " + std::to_string(pad) + (before ? " before" : " after"));
      }
    }
  }
};
std::string path_name(const ::testing::TestParamInfo<const Scanner*>& path) {
  return path.param->name;
}
INSTANTIATE_TEST_SUITE_P(Paths, Pass, ::testing::ValuesIn(all_paths()), path_name);

TEST_P(Pass, LiteralReportAtEveryCutAndReadSize) {
  for (std::size_t n = 1; n <= kLongest.size(); ++n) {
    ASSERT_EQ(run(kLongest, 1, n).out, kLongestReport) << "reads of " << n;
    ASSERT_EQ(run(kLongest, 2, n).out, kLongestReport) << "reads of " << n;
  }
  expect_model_at_every_cut(kLongest);
}

TEST_P(Pass, CutsInsideTokensOfEveryLength) {
  std::string text;
  for (const int len : {1, 2, 3, 7, 8, 9, 15, 16, 17, 63, 64, 65, 127, 200, 253, 254}) {
    text += std::string(static_cast<std::size_t>(len), static_cast<char>('a' + len % 26)) + " " +
            std::string(static_cast<std::size_t>(len), static_cast<char>('0' + len % 10)) + "\n";
  }
  expect_model_at_every_cut(text + std::string(254, 'Z') + "." + std::string(254, '9'));
}

TEST_P(Pass, NumberToIdentifierSwitchesAtCuts) {
  expect_model_at_every_cut("12ab 3c 45 6d7e 8 f9 007x 0 a0 99Z9 1 " + std::string(250, '4') +
                            "q " + std::string(200, '3') + std::string(54, 'r') + "\n");
}

TEST_P(Pass, WorkersWhoseTablesFillHandBack) {
  std::string text;
  for (int i = 0; i < 60; ++i) {
    text += "w" + std::to_string(i * 7 % 31) + " " + std::to_string(i % 13) + " W" +
            std::to_string(i % 5) + (i % 9 == 0 ? "\t" + std::string(30, 'x') + "\n" : " ");
  }
  for (const int keys : {1, 3}) expect_model_at_every_cut(text, keys);
  // A worker that knows "7" meets a new identifier right after one.
  expect_model_at_every_cut("7 7 7 7 7 7 7 7a 7 7 7b 7 7 7 7 7 7 7 7 7c 7\n", 1);
}

TEST_P(Pass, StopsAtEveryCut) {
  const std::string cases[] = {
      "ab " + std::string(255, 'Q') + " cd " + std::string(300, '1'),
      "ab 12" + std::string(255, 'z') + "\n",
      "x y " + std::string(255, '5') + "abc",
      "n" + std::string(120, 'm') + " " + std::string(120, 'm') + std::string(300, '0'),
  };
  for (const std::string& text : cases) expect_model_at_every_cut(text);
}

TEST_P(Pass, ReadErrorAtEveryOffset) {
  const std::string input = "the 12 " + std::string(40, 'w') + " 345x, " + std::string(255, 'L');
  const auto* data = reinterpret_cast<const unsigned char*>(input.data());
  for (std::size_t fail_at = 0; fail_at < input.size(); ++fail_at) {
    const ModelResult want = model_run(data, input.size(), fail_at);
    const std::string where = "fail at " + std::to_string(fail_at);
    expect(run(input, 1, 1 + fail_at % 9, 0, fail_at), want, where + ", in order");
    expect(run(input, 3, 1 + fail_at % 9, 1, fail_at), want, where + ", split");
  }
}

TEST_P(Pass, FullTablesStopFirstInStreamOrder) {
  std::string distinct;
  for (int i = 0; i < 30000; ++i)
    distinct += "k" + std::to_string(i) + " " + std::to_string(i) + "\n";
  const std::string too_long(255, 'q');
  const std::string words_full = "Too many different identifiers (limit 30000)!! Exit.\n";
  const std::string numbers_full = "Too many different numbers (limit 30000)!! Exit.\n";
  struct Case {
    std::string input, err;
  };
  const Case cases[] = {
      {distinct + "new " + too_long, words_full},
      {distinct + "7777777 " + too_long, numbers_full},
      {distinct + too_long + " new", "Word " + too_long + " too long!! Exit.\n"},
      {distinct + "K1 1 k29999 " + distinct.substr(0, 200000), ""},
      // The new number comes first in the stream, in the second stretch.
      {distinct.substr(0, distinct.find('\n', 300000) + 1) + "9999999\n" +
           distinct.substr(distinct.find('\n', 300000) + 1),
       numbers_full},
  };
  for (const Case& c : cases) {
    const RunResult in_order = run(c.input, 1);
    ASSERT_EQ(in_order.err, c.err);
    for (const int cpus : {2, 3}) {
      const RunResult r = run(c.input, cpus);
      ASSERT_EQ(r.err, c.err) << cpus << " CPUs";
      ASSERT_EQ(r.out, in_order.out) << cpus << " CPUs";
      ASSERT_EQ(r.status, c.err.empty() ? 0 : 1);
    }
  }
}

// A thread that cannot start leaves its stretch to be counted in order
// after the ones before it: here no new thread's stack fits the address
// space.
TEST_P(Pass, WorkersThatCannotStartAreCountedInOrder) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' runtimes map memory of their own";
#else
  std::string input;
  for (int i = 0; i < 2000; ++i)
    input += "Ab" + std::to_string(i % 97) + " " + std::to_string(i) + "\n";
  const RunResult in_order = run(input, 1);
  std::size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  ASSERT_GT(pages, 0u);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
  rlimit tight = old;
  tight.rlim_cur = pages * 4096 + (std::size_t{1} << 20);
  ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
  const RunResult split = run(input, 3);
  ASSERT_EQ(setrlimit(RLIMIT_AS, &old), 0);
  EXPECT_EQ(split.out, in_order.out);
  EXPECT_EQ(split.err, in_order.err);
  EXPECT_EQ(split.status, in_order.status);
#endif
}

}  // namespace
}  // namespace tally
