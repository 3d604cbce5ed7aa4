// Where a counting thread's keys and counts go: straight into the token
// tables, or, while several threads count at once and the tables are
// read-only to them, into the thread's own room.
#ifndef TALLY_SINK_H_
#define TALLY_SINK_H_

#include <cstddef>
#include <cstdint>

#include "room.h"
#include "tally_tables.h"

namespace tally {

struct Sink {
  // nullptr: the tables themselves. No default member initializer, so that
  // the workers' static state needs no code at start-up to set it (Sink{}
  // still gives nullptr).
  Room* room;
};

// A key's reference: its slot in its token table (>= 0), or the complement
// of its number in the room.
//
// Finds the reference of the token of `len` bytes at `p` (a number if it
// starts with a digit), adding or noting its key if new (to a room that does
// not see the tables, any key it has not noted yet); or says why the run
// stops, or that the room is full. The occurrence itself is not counted.
// REQUIRES: 1 <= len <= kMaxTokenLen; the words covering p[0, len] readable.
Outcome sink_ref(const Sink& sink, const unsigned char* p, int len, std::int32_t* ref);

// Adds `n` occurrences to the key `ref` of the token whose text is `text`
// (up to `len` bytes, or its first zero byte), and its bytes to the
// character counts; in a room's sink, all of it to the room.
void sink_add(const Sink& sink, std::int32_t ref, const unsigned char* text, std::size_t len,
              std::uint64_t n);

// count-token with its bytes, for a token counted without the spelling
// cache: the reference, then one occurrence.
// REQUIRES: len >= 1; the words covering p[0, min(len, kMaxTokenLen)] readable.
Outcome sink_count(const Sink& sink, const unsigned char* p, std::ptrdiff_t len);

}  // namespace tally

#endif  // TALLY_SINK_H_
