// The spelling cache: how the SIMD paths count tokens of up to 60 bytes, by
// their exact spelling, before the counts go to the token tables.
#ifndef TALLY_SPELLING_CACHE_H_
#define TALLY_SPELLING_CACHE_H_

#include <cstddef>
#include <cstdint>

#include "tally_tables.h"

namespace tally {

// The cache maps a token's spelling, case and all, to its key's slot in its
// token table and a count of its occurrences. A token then costs one hash and
// one compare, and its characters are tallied once per spelling instead of
// once per byte. flush_spellings() moves the counts into the token tables and
// the character table at the end of the input.
//
// Short spellings (up to 28 bytes) live in a table that starts small, unless
// the input is known to be large, and doubles each time it is half full, so
// that a text with few spellings keeps its lookups in the nearest caches. At full size and 5/8 full
// it takes no more: a spelling met for the first time after that is counted directly in the token
// tables. The spellings a text shows first are mostly its common ones, and those stay. Long
// spellings (29 to 60 bytes) are few, and few of them differ: their table has a fixed size and,
// once 5/8 full, also counts new ones directly.
constexpr int kShortSpellingMaxLen = 28;
constexpr int kShortSpellingMinBits = 9;
constexpr int kShortSpellingMaxBits = 16;
constexpr std::size_t kShortSpellingSlots = std::size_t{1} << kShortSpellingMaxBits;
constexpr std::size_t kShortSpellingLimit = kShortSpellingSlots * 5 / 8;
constexpr int kLongSpellingMaxLen = 60;
constexpr int kLongSpellingBits = 12;
constexpr std::size_t kLongSpellingSlots = std::size_t{1} << kLongSpellingBits;
constexpr std::size_t kLongSpellingLimit = kLongSpellingSlots * 5 / 8;

// An entry: the spelling's text, zero-padded (tokens hold no zero byte),
// then its count, zero for a free entry. A count that reaches the cache's
// spill_at is moved into the tables and starts again from one.
template <int kTextLen>
struct SpellingEntry {
  unsigned char text[std::size_t{kTextLen}];
  std::uint32_t count;
};
using ShortSpelling = SpellingEntry<kShortSpellingMaxLen>;
using LongSpelling = SpellingEntry<kLongSpellingMaxLen>;
static_assert(sizeof(ShortSpelling) == 32, "a short spelling is one 32-byte vector");
static_assert(sizeof(LongSpelling) == 64, "a long spelling is one cache line");

// One table of entries, with each entry's key slot in its token table (which
// table follows from the spelling's first byte) and where the used entries
// are, so that flushing and clearing cost what was used.
template <typename Entry, std::size_t kSlots, std::size_t kLimit>
struct SpellingTable {
  alignas(64) Entry entries[kSlots];
  std::int32_t slot[kSlots];
  std::uint32_t used[kLimit];
  std::size_t fill;
};

struct SpellingCache {
  SpellingTable<ShortSpelling, kShortSpellingSlots, kShortSpellingLimit> shorts;
  SpellingTable<LongSpelling, kLongSpellingSlots, kLongSpellingLimit> longs;
  // The part of shorts in use: 2^(64 - shift) entries from the start; mask
  // is that number less one; at `grow_at` used entries it grows.
  int shift;
  std::size_t mask;
  std::size_t grow_at;
  std::uint32_t spill_at;
  // Room for rearranging the short entries as the table grows.
  struct {
    std::uint16_t order[kShortSpellingLimit];   // entry numbers, hottest first
    std::uint16_t number[kShortSpellingSlots];  // the entry number at each entry
  } rehash;
};

// Where a spelling's search starts: its text, zero-padded to 32 bytes as
// the words w0..w3, is mixed down to two words (w0 ^ w3, w1 ^ w2) and
// hashed; the top bits pick the entry. The SIMD lookups and the table's
// growth must agree on it, so both come here.
inline std::size_t spelling_mix(std::uint64_t a, std::uint64_t b, int shift) {
  const std::uint64_t h = (a ^ (b * 0xC2B2AE3D27D4EB4FULL)) * 0x9E3779B97F4A7C15ULL;
  return static_cast<std::size_t>(h >> shift);
}

// Empties the cache without counting, for a new run over about
// `expected_bytes` of input (0: not known), and sizes it for the spellings
// that many bytes are likely to hold, so that it seldom has to grow. A
// count that reaches `spill_at` is moved into the tables (tests lower it).
void start_spellings(SpellingCache* cache, std::uint64_t expected_bytes, std::uint32_t spill_at);

// Counts a spelling not in the cache, whose search ended at the free entry
// `at`: adds it there, or counts it directly when the table is full; finds
// or adds its key in the token table, or says why the run stops.
// REQUIRES: 1 <= len <= kShortSpellingMaxLen; shorts.entries[at] is free.
Outcome add_short_spelling(SpellingCache* cache, const unsigned char* p, int len, std::size_t at);
// The same for a long spelling.
// REQUIRES: kShortSpellingMaxLen < len <= kLongSpellingMaxLen;
// longs.entries[at] is free.
Outcome add_long_spelling(SpellingCache* cache, const unsigned char* p, int len, std::size_t at);

// Moves one entry's count, less one, into the tables; the entry keeps one.
void spill_short_spelling(SpellingCache* cache, std::size_t at);
void spill_long_spelling(SpellingCache* cache, std::size_t at);

// Moves every count into the tables and empties the cache.
void flush_spellings(SpellingCache* cache);

}  // namespace tally

#endif  // TALLY_SPELLING_CACHE_H_
