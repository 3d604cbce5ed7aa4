// Counting into the tables or into a room.
#include "sink.h"

namespace tally {
namespace {

bool is_number(const unsigned char* text) {
  return static_cast<unsigned char>(text[0] - '0') < 10;
}

}  // namespace

Outcome sink_ref(const Sink& sink, const unsigned char* p, int len, std::int32_t* ref) {
  const bool number = is_number(p);
  const TokenTable& table = number ? kNumbers : kIdentifiers;
  Key key;
  make_key(p, len, !number, &key);
  if (sink.room == nullptr) {
    *ref = find_or_add(table, key, 0);
    if (*ref >= 0) return Outcome::kDone;
    return number ? Outcome::kNumbersFull : Outcome::kWordsFull;
  }
  *ref = sink.room->sees_tables ? find_key(table, key) : -1;
  return *ref >= 0 ? Outcome::kDone : note_key(sink.room, key, number, ref);
}

void sink_add(const Sink& sink, std::int32_t ref, const unsigned char* text, std::size_t len,
              std::uint64_t n) {
  std::uint64_t* chars = letterCount;
  if (ref < 0) {
    sink.room->keys[~ref].count += n;
    chars = sink.room->chars;
  } else if (sink.room != nullptr) {
    add_held(sink.room, is_number(text), ref, n);
    chars = sink.room->chars;
  } else {
    (is_number(text) ? numCount : wordCount)[ref] += n;
  }
  for (std::size_t j = 0; j < len && text[j] != 0; ++j) chars[text[j]] += n;
}

Outcome sink_count(const Sink& sink, const unsigned char* p, std::ptrdiff_t len) {
  const bool number = is_number(p);
  if (sink.room == nullptr) return count_token_and_bytes(p, len, !number);
  if (len >= kTooLongLen) return number ? Outcome::kNumberTooLong : Outcome::kWordTooLong;
  std::int32_t ref;
  const Outcome o = sink_ref(sink, p, static_cast<int>(len), &ref);
  if (o == Outcome::kDone) sink_add(sink, ref, p, static_cast<std::size_t>(len), 1);
  return o;
}

}  // namespace tally
