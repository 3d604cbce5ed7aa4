// Runs of the filter over bytes in memory, for the unit tests and the
// fuzzers: reads of a chosen size place block boundaries where they like.
#ifndef TALLY_TESTS_MEMORY_INPUT_H_
#define TALLY_TESTS_MEMORY_INPUT_H_

#include <cstddef>
#include <string>

#include "input.h"
#include "options.h"

namespace tally {

// An input over bytes in memory, handed out at most `max_read` bytes per
// read (0: as many as asked for).
struct MemoryInput {
  const unsigned char* data;
  std::size_t left;
  std::size_t max_read;
};

Input memory_input(MemoryInput* m);

struct RunResult {
  int status;
  std::string out;
  std::string err;
  bool overflow;  // the report or the message did not fit its buffer
};

// One whole run over `size` bytes at `data`.
RunResult run_in_memory(const unsigned char* data, std::size_t size, std::size_t max_read,
                        const RunOptions& options);
RunResult run_in_memory(const std::string& input, std::size_t max_read, const RunOptions& options);

}  // namespace tally

#endif  // TALLY_TESTS_MEMORY_INPUT_H_
