// Runs of the filter over bytes in memory, for the unit tests and the
// fuzzers: reads of a chosen size place block boundaries where they like,
// a seekable input lets a run split the work, and a read can fail at a
// chosen offset.
#ifndef TALLY_TESTS_MEMORY_INPUT_H_
#define TALLY_TESTS_MEMORY_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "input.h"
#include "options.h"

namespace tally {

// How a run sees bytes in memory.
struct MemoryShape {
  std::size_t max_read = 0;  // the most one read hands out (0: as asked)
  bool seekable = false;     // read at offsets too, as a regular file is
  // The offset at which reads fail with EIO, after handing out the bytes
  // before it; past the end: never.
  std::size_t fail_at = SIZE_MAX;
};

struct MemoryInput {
  const unsigned char* data;
  std::size_t size;
  std::size_t at;  // where `read` goes on
  MemoryShape shape;
};

Input memory_input(MemoryInput* m);

struct RunResult {
  int status;
  std::string out;
  std::string err;
  bool overflow;  // the report or the message did not fit its buffer
};

// One whole run over `size` bytes at `data`.
RunResult run_in_memory(const unsigned char* data, std::size_t size, const MemoryShape& shape,
                        const RunOptions& options);
RunResult run_in_memory(const std::string& input, const MemoryShape& shape,
                        const RunOptions& options);

}  // namespace tally

#endif  // TALLY_TESTS_MEMORY_INPUT_H_
