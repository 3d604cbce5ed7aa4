// A worker's room: the keys it meets that the token tables do not hold,
// while several threads count at once and the tables are read-only to them.
#ifndef TALLY_ROOM_H_
#define TALLY_ROOM_H_

#include <cstddef>
#include <cstdint>

#include "tally_tables.h"

namespace tally {

// A key new to the tables, in the order of first appearance.
struct RoomKey {
  std::uint64_t hash;   // as make_key gave it
  std::uint64_t count;  // occurrences, but those its spellings still hold
  union {
    std::uint32_t word_at;  // where its text starts in the room's words
    std::int32_t slot;      // once merged, its slot in its token table
  };
  std::uint16_t nwords;
  bool number;
};
static_assert(sizeof(RoomKey) == 24, "a room of keys takes 24 bytes a key");

// What all rooms together may hold: each of `parts` rooms gets a share.
constexpr std::size_t kRoomKeys = 32768;
constexpr std::size_t kRoomWords = 98304;
constexpr std::size_t kRoomIndex = 2 * kRoomKeys;

struct Room {
  RoomKey* keys;
  std::uint32_t key_cap;
  std::uint32_t fill;
  std::uint64_t* words;  // the keys' text, as Key::words
  std::uint32_t word_cap;
  std::uint32_t words_used;
  std::uint32_t words_ready;    // words whose pages have been made ready
  std::uint32_t* index;         // key number + 1 at each entry; zero is free
  std::uint32_t index_mask;     // its entries in use, less one
  std::uint32_t index_max;      // the most it may grow to
  std::uint64_t chars[kCodes];  // the character counts of what it counted
  // What it counted of keys the tables hold, kept here so that threads do
  // not contend for the tables' counts: identifiers at their slot, numbers
  // at kMaxKeys + their slot. What runs past 32 bits goes to the tables.
  std::uint32_t* held;
  bool held_used;
  // Whether the tables may be read while the room fills: not while another
  // thread adds to them. A room that may not holds every key it meets.
  bool sees_tables;
};

// The most rooms: one per thread that counts at once.
constexpr int kMaxRooms = 4;

// Gives `room` part `part` of `parts` of the rooms' storage, empty, and at
// most `key_cap` keys (0: its whole share). Tests shrink it to reach a full
// room on small inputs. Its index starts sized for a stretch of about
// `expected_bytes` (0: not known) and grows as needed.
// REQUIRES: parts is a power of two, at most kMaxRooms; part < parts.
void attach_room(Room* room, int part, int parts, std::uint32_t key_cap, bool sees_tables,
                 std::uint64_t expected_bytes);

// Empties the room, at the cost of what it held.
void clear_room(Room* room);

// Adds `n` to the count of the key in `slot` of the tables.
void add_held(Room* room, bool number, std::int32_t slot, std::uint64_t n);
// Moves the counts of keys the tables hold into the tables.
void merge_held(Room* room);

// The room's reference for `key`, ~ its number, noting the key if it is new
// here; kOutOfRoom when the room cannot take it.
Outcome note_key(Room* room, const Key& key, bool number, std::int32_t* ref);

// The key `k` of the room, ready for find_or_add, its words where the room
// keeps them.
inline KeyText room_key(const Room& room, const RoomKey& k) {
  return KeyText{room.words + k.word_at, k.nwords, k.hash};
}

}  // namespace tally

#endif  // TALLY_ROOM_H_
