// The counting pass: reads the input to its end and fills the tally tables.
#ifndef TALLY_SCAN_H_
#define TALLY_SCAN_H_

#include <cstddef>

#include "tally_tables.h"

namespace tally {

// How a counting pass ended. Anything but kDone stops the run with a message
// and exit status 1, before any report is written.
enum class Outcome {
  kDone,           // end of input
  kWordTooLong,    // an identifier reached kTooLongLen characters
  kNumberTooLong,  // a number reached kTooLongLen digits
  kWordsFull,      // a new identifier arrived at a full table
  kNumbersFull,    // a new number arrived at a full table
  kReadError,      // the input could not be read
};

// The input: `read` stores up to `cap` bytes at `dst` and returns how many,
// 0 at end of input, or -1 with `*err` set to an errno value. It may return
// fewer bytes than asked for at any time, as a pipe does. It may be called
// on another thread than count_input's, one call at a time.
//
// `blocking`: a read may wait indefinitely, as on a pipe or a terminal.
// Such an input is usually written by another program on this machine, so
// it is read on a thread of its own only when there are CPUs to spare for
// both; and a run that stops early leaves that thread waiting, for the
// program to exit. Otherwise count_input waits for it.
struct Input {
  std::ptrdiff_t (*read)(void* ctx, unsigned char* dst, std::size_t cap, int* err);
  void* ctx;
  bool blocking = false;
};

// Ways to classify and cut the bytes. kScalar is the plain byte-at-a-time
// reference, always built; the others must give exactly its results.
enum class ScanPath { kScalar, kAvx2, kAvx512 };

struct ScanResult {
  Outcome outcome;
  int error;  // errno value, for kReadError
  // For the too-long outcomes: the token's first kTooLongLen characters
  // (identifiers in lower case), not NUL-terminated.
  char token[kTooLongLen];
};

// Whether this build and this CPU can run `path`.
bool path_supported(ScanPath path);
// The fastest supported path.
ScanPath best_path();
// Parses "scalar", "avx2" or "avx512". Returns false for anything else.
bool parse_path(const char* name, ScanPath* path);

// Runs the counting pass over the whole input.
// REQUIRES: the tables are in their start-up state; path_supported(path).
void count_input(const Input& in, ScanPath path, ScanResult* result);

}  // namespace tally

#endif  // TALLY_SCAN_H_
