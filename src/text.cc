// Appending to fixed-capacity texts.
#include "text.h"

#include <cstring>

namespace tally {
void append(Text* t, const char* s, std::size_t n) {
  if (n > t->cap - t->len) {
    t->overflow = true;
    return;
  }
  std::memcpy(t->data + t->len, s, n);
  t->len += n;
}

void append(Text* t, const char* s) {
  append(t, s, std::strlen(s));
}

void append_u64(Text* t, std::uint64_t v) {
  char digits[20];
  std::size_t i = sizeof digits;
  do {
    digits[--i] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  append(t, digits + i, sizeof digits - i);
}

void append_error(Text* t, int err) {
  append(t, std::strerror(err));
}

}  // namespace tally
