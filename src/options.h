// What a run can be told besides its input. The defaults are the program's;
// tests and fuzzers change them to reach rare paths on small inputs.
#ifndef TALLY_OPTIONS_H_
#define TALLY_OPTIONS_H_

#include <cstddef>
#include <cstdint>

namespace tally {

struct Scanner;

struct RunOptions {
  // The scanning path; nullptr takes the fastest this CPU supports.
  const Scanner* scanner = nullptr;
  // CPUs to count a file on; 0: those this process may run on.
  int cpus = 0;
  // The smallest file that is split between threads; 0: the default.
  std::uint64_t split_from = 0;
  // The most bytes one read takes; 0: the default.
  std::size_t read_size = 0;
  // The most spellings a worker's table holds; 0: the default.
  int worker_keys = 0;
};

}  // namespace tally

#endif  // TALLY_OPTIONS_H_
