// One whole run of the filter, from an input to the texts for standard output
// and standard error, without touching any file descriptor. The program's
// main, the tests and the fuzzers all go through here.
#ifndef TALLY_RUN_H_
#define TALLY_RUN_H_

#include <cstddef>

#include "report.h"
#include "scan.h"

namespace tally {

// Resets the tables, counts `in` and writes either the report into `out` or
// the stop message into `err`. Returns the exit status: 0, or 1 on a stop.
// REQUIRES: out->cap >= kReportMax, err->cap >= kMessageMax,
// path_supported(path).
int run_filter(const Input& in, ScanPath path, Text* out, Text* err);

// An input over bytes in memory, handed out at most `chunk` bytes per read,
// so that tests can place block boundaries where they like.
struct MemoryInput {
  const unsigned char* data;
  std::size_t left;
  std::size_t chunk;
};

Input memory_input(MemoryInput* m);

}  // namespace tally

#endif  // TALLY_RUN_H_
