// Arbitrary bytes through the whole filter, against the model. The first
// byte shapes the runs: how many bytes each read hands over, so that read
// boundaries fall everywhere, and how a split cuts the input.
#include <cstddef>
#include <cstdint>

#include "check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    check_against_model(data, 0, 0);
    return 0;
  }
  check_against_model(data + 1, size - 1, data[0]);
  return 0;
}
