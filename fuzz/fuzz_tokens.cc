// Texts made of tokens near the length limits, which random bytes rarely
// reach: each input byte names a token kind and a length close to 16, 24,
// 28, 32, 60 or 254, so both spelling tables, long tokens, too-long stops and
// read boundaries all meet. The first byte picks the read size.
#include <cstddef>
#include <cstdint>
#include <string>

#include "check.h"

namespace {

const int kLengths[16] = {1, 2, 16, 17, 24, 25, 28, 29, 32, 33, 60, 61, 64, 253, 254, 255};

void append_token(std::string* text, std::uint8_t recipe, std::size_t salt) {
  const int len = kLengths[recipe & 15];
  switch (recipe >> 4 & 3) {
    case 0:  // identifier, mixed case, digits after the first letter
      for (int i = 0; i < len; ++i) {
        const std::size_t v = salt * 31 + static_cast<std::size_t>(i);
        (*text) += i > 0 && v % 5 == 0 ? static_cast<char>('0' + v % 10)
                                       : static_cast<char>((v % 3 == 0 ? 'A' : 'a') + v % 4);
      }
      break;
    case 1:  // number
      for (int i = 0; i < len; ++i)
        (*text) += static_cast<char>('0' + (salt + static_cast<std::size_t>(i)) % 3);
      break;
    case 2:  // a number running into an identifier
      for (int i = 0; i < len; ++i) (*text) += static_cast<char>(i < len / 2 ? '7' : 'q');
      break;
    default:  // a separator run, bytes 128-255 and NUL among them
      for (int i = 0; i < (len & 7) + 1; ++i)
        (*text) += static_cast<char>(" \n\t\xff\x80.\0_"[(salt + static_cast<std::size_t>(i)) % 8]);
      break;
  }
  if ((recipe & 0x40) == 0) (*text) += (recipe & 0x80) ? '\n' : ' ';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // At most 4096 tokens, so that one input stays quick.
  std::string text;
  const std::size_t tokens = size - 1 < 4096 ? size - 1 : 4096;
  for (std::size_t i = 1; i <= tokens; ++i) append_token(&text, data[i], i);
  check_against_model(reinterpret_cast<const unsigned char*>(text.data()), text.size(), data[0]);
  return 0;
}
