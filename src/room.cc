// A worker's room: an open-addressing index over the keys it noted.
#include "room.h"

#include <algorithm>
#include <cstring>

#include "huge_pages.h"

namespace tally {
namespace {

RoomKey g_keys[kRoomKeys];
std::uint64_t g_words[kRoomWords];
alignas(kSmallPage) std::uint32_t g_index[kRoomIndex];  // made ready whole
std::uint32_t g_held[kMaxRooms][2 * kMaxKeys];

// Keys and words whose pages are made ready at once.
constexpr std::uint32_t kReadyKeys = 2048;
constexpr std::uint32_t kReadyWords = 8192;
// An index that holds more than one key per this many entries is cleared
// whole: faster than entry by entry along each key's probe chain, in
// random order.
constexpr std::size_t kClearWholeFrom = 16;
// The smallest index a room starts with.
constexpr std::uint32_t kRoomIndexMin = 4096;

bool same(const Room& room, const RoomKey& k, const Key& key) {
  if (k.hash != key.hash || k.nwords != key.nwords) return false;
  const std::uint64_t* const words = room.words + k.word_at;
  for (int i = 0; i < k.nwords; ++i) {
    if (words[i] != key.words[i]) return false;
  }
  return true;
}

// Doubles the index and places every key again. The index starts small:
// most stretches bring a few thousand keys, and the pages of a larger
// index would cost more than its growth.
void grow_index(Room* room) {
  const std::size_t size = std::size_t{room->index_mask} + 1;
  populate_pages(room->index + size, sizeof *room->index * size);
  std::memset(room->index, 0, sizeof *room->index * size);
  room->index_mask = static_cast<std::uint32_t>(2 * size - 1);
  for (std::uint32_t i = 0; i < room->fill; ++i) {
    std::uint32_t at = static_cast<std::uint32_t>(room->keys[i].hash) & room->index_mask;
    while (room->index[at] != 0) at = (at + 1) & room->index_mask;
    room->index[at] = i + 1;
  }
}

}  // namespace

void attach_room(Room* room, int part, int parts, std::uint32_t key_cap, bool sees_tables,
                 std::uint64_t expected_bytes) {
  TALLY_CHECK(parts > 0 && parts <= kMaxRooms && (parts & (parts - 1)) == 0 && part >= 0 &&
              part < parts);
  room->held = g_held[part];
  room->held_used = false;
  room->sees_tables = sees_tables;
  const auto n = static_cast<std::size_t>(parts);
  const auto i = static_cast<std::size_t>(part);
  room->keys = g_keys + i * (kRoomKeys / n);
  room->key_cap = static_cast<std::uint32_t>(kRoomKeys / n);
  if (key_cap != 0 && key_cap < room->key_cap) room->key_cap = key_cap;
  room->words = g_words + i * (kRoomWords / n);
  room->word_cap = static_cast<std::uint32_t>(kRoomWords / n);
  room->index = g_index + i * (kRoomIndex / n);
  room->index_max = static_cast<std::uint32_t>(kRoomIndex / n);
  // Real texts bring a new key every 40 bytes or more after their first
  // few kilobytes.
  std::uint32_t size = kRoomIndexMin;
  while (size < room->index_max && (expected_bytes == 0 || size < expected_bytes / 32)) size *= 2;
  room->index_mask = std::min(size, room->index_max) - 1;
  // Every room empties its entries as it is cleared, so the index is all
  // zero already; its probes read entries before they write them, and would
  // fault twice on each page.
#if defined(TALLY_CHECKS)
  for (std::size_t e = 0; e < room->index_max; ++e) TALLY_CHECK(room->index[e] == 0);
#endif
  populate_pages(room->index, sizeof *room->index * (room->index_mask + 1));
  room->fill = 0;
  room->words_used = 0;
  room->words_ready = 0;
  std::memset(room->chars, 0, sizeof room->chars);
}

void add_held(Room* room, bool number, std::int32_t slot, std::uint64_t n) {
  std::uint32_t& held = room->held[(number ? kMaxKeys : 0) + slot];
  const std::uint64_t sum = held + n;
  held = static_cast<std::uint32_t>(sum);
  room->held_used = true;
  if ((sum >> 32) != 0) {
    __atomic_fetch_add(&(number ? numCount : wordCount)[slot], sum >> 32 << 32, __ATOMIC_RELAXED);
  }
}

void merge_held(Room* room) {
  if (!room->held_used) return;
  for (std::int32_t i = 0; i < w_num; ++i) wordCount[i] += room->held[i];
  for (std::int32_t i = 0; i < n_num; ++i) numCount[i] += room->held[kMaxKeys + i];
  std::memset(room->held, 0, sizeof g_held[0]);
  room->held_used = false;
}

void clear_room(Room* room) {
  const std::size_t entries = std::size_t{room->index_mask} + 1;
  if (std::size_t{room->fill} * kClearWholeFrom > entries) {
    std::memset(room->index, 0, sizeof *room->index * entries);
  } else {
    for (std::uint32_t i = 0; i < room->fill; ++i) {
      std::uint32_t at = static_cast<std::uint32_t>(room->keys[i].hash) & room->index_mask;
      while (room->index[at] != 0) {
        room->index[at] = 0;
        at = (at + 1) & room->index_mask;
      }
    }
  }
  room->fill = 0;
  room->words_used = 0;
  std::memset(room->chars, 0, sizeof room->chars);
  if (room->held_used) std::memset(room->held, 0, sizeof g_held[0]);
  room->held_used = false;
}

Outcome note_key(Room* room, const Key& key, bool number, std::int32_t* ref) {
  std::uint32_t at = static_cast<std::uint32_t>(key.hash) & room->index_mask;
  for (std::uint32_t e; (e = room->index[at]) != 0; at = (at + 1) & room->index_mask) {
    if (same(*room, room->keys[e - 1], key)) {
      *ref = ~static_cast<std::int32_t>(e - 1);
      return Outcome::kDone;
    }
  }
  const auto nwords = static_cast<std::uint32_t>(key.nwords);
  if (room->fill == room->key_cap || room->word_cap - room->words_used < nwords) {
    return Outcome::kOutOfRoom;
  }
  // The keys and their text are written in order: their pages are made
  // ready a stretch at a time, not faulted in one by one.
  if (room->fill % kReadyKeys == 0) {
    const std::uint32_t n = std::min(kReadyKeys, room->key_cap - room->fill);
    populate_pages(room->keys + room->fill, sizeof(RoomKey) * n);
  }
  if (room->words_used + nwords > room->words_ready) {
    const std::uint32_t n = std::min(kReadyWords, room->word_cap - room->words_ready);
    populate_pages(room->words + room->words_ready, 8 * std::size_t{n});
    room->words_ready += n;
  }
  RoomKey& k = room->keys[room->fill];
  k = RoomKey{key.hash, 0, {room->words_used}, static_cast<std::uint16_t>(nwords), number};
  std::memcpy(room->words + room->words_used, key.words, 8 * std::size_t{nwords});
  room->words_used += nwords;
  room->index[at] = ++room->fill;
  *ref = ~static_cast<std::int32_t>(room->fill - 1);
  // Half full at most, so that probe chains stay short.
  if (2 * room->fill > room->index_mask && room->index_mask + 1 < room->index_max) grow_index(room);
  return Outcome::kDone;
}

}  // namespace tally
