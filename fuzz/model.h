// A deliberately plain model of what tally must print for an input: one
// byte at a time, tables searched from the start, selection ranking. The
// fuzzers compare the real program against it.
#ifndef TALLY_FUZZ_MODEL_H_
#define TALLY_FUZZ_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <string>

struct ModelResult {
  std::string out;
  std::string err;
  int status;
};

// The result for `size` bytes at `data`, read until the offset `fail_at`,
// where reading fails with EIO, if that lies inside the input.
ModelResult model_run(const unsigned char* data, std::size_t size, std::size_t fail_at = SIZE_MAX);

#endif  // TALLY_FUZZ_MODEL_H_
