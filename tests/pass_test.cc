// The pass driver: tokens that fall across read boundaries at every offset,
// on every scanning path. End-to-end cases cannot place a read boundary;
// these feed memory a chosen number of bytes per read.
#include <string>

#include "every_path.h"
#include "longest_tokens.h"
#include "token_list.h"

namespace tally {
namespace {

class Pass : public EveryPath {};
INSTANTIATE_TEST_SUITE_P(Paths, Pass, ::testing::ValuesIn(all_paths()), path_name);

// Every read size from 1 to past the token length puts a read boundary at
// every offset inside the tokens below.
constexpr std::size_t kMaxRead = 300;

struct StopCase {
  std::string input;
  std::string err;
};
const StopCase kTooLong[] = {
    {"ab " + std::string(255, 'Q') + " cd",
     "Word " + std::string(255, 'q') + " too long!! Exit.\n"},
    {"ab " + std::string(300, 'Q'), "Word " + std::string(255, 'q') + " too long!! Exit.\n"},
    {"7 " + std::string(255, '8') + "\n",
     "Number " + std::string(255, '8') + " too long!! Exit.\n"},
    {"12" + std::string(255, 'z'), "Word " + std::string(255, 'z') + " too long!! Exit.\n"},
    {std::string(255, '5') + "abc", "Number " + std::string(255, '5') + " too long!! Exit.\n"},
};

TEST_P(Pass, LongestTokensAcrossEveryOffset) {
  for (std::size_t max_read = 1; max_read <= kMaxRead; ++max_read) {
    const RunResult r = run(kLongest, max_read);
    ASSERT_EQ(r.status, 0) << "reads of " << max_read;
    ASSERT_EQ(r.err, "");
    ASSERT_EQ(r.out, kLongestReport) << "reads of " << max_read;
  }
}

TEST_P(Pass, TooLongTokensAcrossEveryOffset) {
  for (const StopCase& c : kTooLong) {
    for (std::size_t max_read = 1; max_read <= kMaxRead; ++max_read) {
      const RunResult r = run(c.input, max_read);
      ASSERT_EQ(r.status, 1) << "reads of " << max_read;
      ASSERT_EQ(r.out, "");
      ASSERT_EQ(r.err, c.err) << "reads of " << max_read;
    }
  }
}

// A text's start counted straight into the tables, with the spelling cache
// taking over after a window of every size, so at every offset of these
// tokens, and whatever the reads hand over.
TEST_P(Pass, DirectStartHandsOverAtEveryOffset) {
  for (std::uint64_t window = 1; window <= kMaxRead; ++window) {
    RunOptions options;
    options.direct_window = window;
    for (const std::size_t max_read : {std::size_t{0}, std::size_t{7}, std::size_t{64}}) {
      const RunResult r = run(kLongest, max_read, options);
      ASSERT_EQ(r.status, 0) << "windows of " << window << ", reads of " << max_read;
      ASSERT_EQ(r.out, kLongestReport) << "windows of " << window << ", reads of " << max_read;
      for (const StopCase& c : kTooLong) {
        const RunResult stop = run(c.input, max_read, options);
        ASSERT_EQ(stop.status, 1) << "windows of " << window << ", reads of " << max_read;
        ASSERT_EQ(stop.err, c.err) << "windows of " << window << ", reads of " << max_read;
      }
    }
  }
}

// Whole reads: the same tokens straddle, at every offset, the end of the
// first read (after which a large input is read on a second thread) and the
// end of the first block that thread reads, so that a carried token meets a
// full read behind it.
TEST_P(Pass, TokensAcrossFullReads) {
  for (const std::size_t boundary : {kReadSize, kReadSize + kBlockSize}) {
    for (std::size_t before = boundary - 256; before <= boundary + 1; ++before) {
      const std::string input = std::string(before, '\n') + std::string(254, 'w') + " 42";
      const RunResult r = run(input);
      ASSERT_EQ(r.status, 0) << "offset " << before;
      ASSERT_EQ(r.out.substr(0, r.out.find('\n') + 1),
                std::to_string(before) + " 2 " + std::to_string(before + 257) + "\n");
      ASSERT_NE(r.out.find("No. 0: " + std::string(254, 'w') + "\t\t1\n"), std::string::npos);

      const RunResult stop = run(std::string(before, '.') + std::string(255, '8'));
      ASSERT_EQ(stop.status, 1) << "offset " << before;
      ASSERT_EQ(stop.err, "Number " + std::string(255, '8') + " too long!! Exit.\n");
    }
  }
}

}  // namespace
}  // namespace tally
