// A deliberately plain model of what tally must print for an input: one
// byte at a time, tables searched from the start, selection ranking. The
// fuzzers compare the real program against it.
#ifndef TALLY_FUZZ_MODEL_H_
#define TALLY_FUZZ_MODEL_H_

#include <cstddef>
#include <string>

struct ModelResult {
  std::string out;
  std::string err;
  int status;
};

ModelResult model_run(const unsigned char* data, std::size_t size);

#endif  // TALLY_FUZZ_MODEL_H_
