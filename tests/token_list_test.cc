// Separator counts: the SIMD listers' 32-bit histograms are added into
// 64-bit counts before they can wrap.
#include <string>

#include "every_path.h"
#include "token_list.h"

namespace tally {
namespace {

class Separators : public EveryPath {};
INSTANTIATE_TEST_SUITE_P(Paths, Separators, ::testing::ValuesIn(all_paths()), path_name);

// With the threshold lowered, the histograms are added up at every list and
// must lose nothing, on one thread and, past the first full read, on two.
TEST_P(Separators, AddedUpBeforeTheyWrap) {
  std::string input;
  for (int i = 0; input.size() < kReadSize + 3 * kBlockSize; ++i) {
    input += "a,b;; c" + std::string(static_cast<std::size_t>(i % 7), '.') + "\n";
  }
  const std::string want =
      "32769 98307 360454\n"
      "Total 8 different characters, 5 most used characters:\n"
      "No. 0: .\t\t98302\n"
      "No. 1: ;\t\t65538\n"
      "No. 2: \\n\t\t32769\n"
      "No. 3:  \t\t32769\n"
      "No. 4: ,\t\t32769\n"
      "\n"
      "Total 3 different identifiers, 3 most used identifiers:\n"
      "No. 0: a\t\t32769\n"
      "No. 1: b\t\t32769\n"
      "No. 2: c\t\t32769\n"
      "\n"
      "Total 0 different numbers, 0 most used numbers:\n";
  RunOptions options;
  options.separators_flush_after = 1;
  for (const long cpus : {1L, 2L}) {
    options.cpus = cpus;
    EXPECT_EQ(run(input, 0, options).out, want) << cpus << " CPUs";
  }
}

}  // namespace
}  // namespace tally
