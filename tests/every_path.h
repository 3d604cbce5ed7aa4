// Unit tests that run once per scanning path in the table, each skipped,
// and saying so, where this CPU lacks its path.
#ifndef TALLY_TESTS_EVERY_PATH_H_
#define TALLY_TESTS_EVERY_PATH_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_input.h"
#include "scanners.h"

namespace tally {

class EveryPath : public ::testing::TestWithParam<const Scanner*> {
 protected:
  void SetUp() override {
    if (!GetParam()->supported()) {
      GTEST_SKIP() << "path " << GetParam()->name << " is not supported by this CPU";
    }
  }
  // A run on this test's path, with `options` otherwise as given; unless
  // they say otherwise, the path's own counting from the first token.
  RunResult run(const std::string& input, std::size_t max_read = 0,
                RunOptions options = RunOptions{}) const {
    options.scanner = GetParam();
    if (options.direct_window == 0) options.direct_window = kNeverDirect;
    MemoryShape shape;
    shape.max_read = max_read;
    return run_in_memory(input, shape, options);
  }
};

inline std::vector<const Scanner*> all_paths() {
  std::vector<const Scanner*> all;
  for (std::size_t i = 0; i < kScannerCount; ++i) all.push_back(&kScanners[i]);
  return all;
}

inline std::string path_name(const ::testing::TestParamInfo<const Scanner*>& info) {
  return info.param->name;
}

}  // namespace tally

#endif  // TALLY_TESTS_EVERY_PATH_H_
