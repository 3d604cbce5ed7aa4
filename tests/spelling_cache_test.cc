// The spelling cache, which only the SIMD paths use; on the scalar path
// these tests check the same literal reports without it.
#include <cstdint>
#include <string>

#include "every_path.h"

namespace tally {
namespace {

class SpellingCacheTest : public EveryPath {};
INSTANTIATE_TEST_SUITE_P(Paths, SpellingCacheTest, ::testing::ValuesIn(all_paths()), path_name);

// A spelling's 32-bit count is moved into the tables before it can wrap;
// with the threshold lowered, the moves happen often and must lose nothing.
TEST_P(SpellingCacheTest, CountsSpillIntoTheTables) {
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
  RunOptions options;
  options.spill_at = 3;
  for (const std::size_t max_read : {std::size_t{0}, std::size_t{5}}) {
    EXPECT_EQ(run(input, max_read, options).out, want) << "reads of " << max_read;
  }
}

// More spellings than either table of the cache takes: eight letters, each
// one of e, E, t or T, give 65536 spellings of 256 identifiers, alone and
// after 32 L's. Those met after a table is full are counted directly.
TEST_P(SpellingCacheTest, MoreSpellingsThanTheCacheHolds) {
  std::string input;
  std::uint32_t x = 12345;
  for (int i = 0; i < 150000; ++i) {
    x = x * 1103515245u + 12345u;
    const std::uint32_t r = x >> 8;
    if (i % 4 == 0) input += std::string(32, 'L');
    for (int b = 0; b < 8; ++b) input += "eEtT"[(r >> (2 * b)) & 3u];
    input += i % 16 == 0 ? " " + std::to_string(r % 1000) + "\n" : " ";
  }
  const std::string want =
      "9375 159375 2586448\n"
      "Total 17 different characters, 5 most used characters:\n"
      "No. 0: L\t\t1200000\n"
      "No. 1: E\t\t300265\n"
      "No. 2: t\t\t300136\n"
      "No. 3: e\t\t299854\n"
      "No. 4: T\t\t299745\n"
      "\n"
      "Total 512 different identifiers, 5 most used identifiers:\n"
      "No. 0: ttettett\t\t504\n"
      "No. 1: tteeetee\t\t488\n"
      "No. 2: eettttet\t\t488\n"
      "No. 3: ttteteee\t\t487\n"
      "No. 4: etteetet\t\t484\n"
      "\n"
      "Total 1000 different numbers, 5 most used numbers:\n"
      "No. 0: 471\t\t20\n"
      "No. 1: 858\t\t19\n"
      "No. 2: 568\t\t19\n"
      "No. 3: 918\t\t18\n"
      "No. 4: 462\t\t18\n";
  EXPECT_EQ(run(input).out, want);
}

}  // namespace
}  // namespace tally
