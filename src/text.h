// Fixed-capacity texts, for the report and the messages: nothing is
// allocated, and a text that would overflow says so instead.
#ifndef TALLY_TEXT_H_
#define TALLY_TEXT_H_

#include <cstddef>
#include <cstdint>

namespace tally {

// Appends past `cap` are dropped and set `overflow`.
struct Text {
  char* data;
  std::size_t cap;
  std::size_t len;
  bool overflow;
};

void append(Text* t, const char* s, std::size_t n);
void append(Text* t, const char* s);
// Plain decimal, without leading spaces or zeros.
void append_u64(Text* t, std::uint64_t v);
// The system's message for the error number `err`, as strerror gives it.
void append_error(Text* t, int err);

}  // namespace tally

#endif  // TALLY_TEXT_H_
