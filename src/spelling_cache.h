// The spelling cache: how the SIMD paths count tokens of up to 60 bytes, by
// their exact spelling, before the counts go to the token tables.
#ifndef TALLY_SPELLING_CACHE_H_
#define TALLY_SPELLING_CACHE_H_

#include <cstddef>
#include <cstdint>

#include "huge_pages.h"
#include "sink.h"
#include "tally_tables.h"

namespace tally {

// The cache maps a token's spelling, case and all, to its key's reference
// (sink.h) and a count of its occurrences. A token then costs one hash and
// one compare, and its characters are tallied once per spelling instead of
// once per byte. flush_spellings() moves the counts to the sink at the end.
//
// Short spellings (up to 24 bytes) live in a table that starts small, unless
// the input is known to be large, and doubles each time it is half full, so
// that a text with few spellings keeps its lookups in the nearest caches. At
// full size and 5/8 full it takes no more: a spelling met for the first time
// after that is counted directly. The spellings a text shows first are
// mostly its common ones, and those stay. Long spellings (25 to 60 bytes)
// are few, and few of them differ: their table has a fixed size and, once
// 5/8 full, also counts new ones directly.
constexpr int kShortSpellingMaxLen = 24;
constexpr int kShortSpellingMinBits = 9;
constexpr int kShortSpellingMaxBits = 16;
constexpr std::size_t kShortSpellingSlots = std::size_t{1} << kShortSpellingMaxBits;
constexpr int kLongSpellingMaxLen = 60;
constexpr int kLongSpellingBits = 10;
constexpr std::size_t kLongSpellingSlots = std::size_t{1} << kLongSpellingBits;

// An entry: the spelling's text, zero-padded (tokens hold no zero byte),
// then its count, zero for a free entry. A count that reaches the cache's
// spill_at is moved to the sink and starts again from one. A short entry
// also holds its key's reference (sink.h); a long one's is kept apart.
struct ShortSpelling {
  unsigned char text[std::size_t{kShortSpellingMaxLen}];
  std::int32_t ref;
  std::uint32_t count;
};
struct LongSpelling {
  unsigned char text[std::size_t{kLongSpellingMaxLen}];
  std::uint32_t count;
};
static_assert(sizeof(ShortSpelling) == 32, "a short spelling is one 32-byte vector");
static_assert(sizeof(LongSpelling) == 64, "a long spelling is one cache line");

// Room for one cache of the largest size, or for several smaller ones, one
// per thread, each a part of every array.
struct SpellingStore {
  alignas(kHugePage) ShortSpelling shorts[kShortSpellingSlots];
  alignas(64) LongSpelling longs[kLongSpellingSlots];
  std::int32_t long_refs[kLongSpellingSlots];
  std::uint16_t short_used[kShortSpellingSlots];
  std::uint16_t long_used[kLongSpellingSlots];
};

// One table of entries, the references of long ones, and where the used
// entries are, so that flushing and clearing cost what was used.
template <typename Entry>
struct SpellingTable {
  Entry* entries;
  std::int32_t* refs;  // nullptr for short entries, which hold their own
  std::uint16_t* used;
  std::size_t fill;
  std::size_t limit;  // the most it takes
};

struct SpellingCache {
  SpellingTable<ShortSpelling> shorts;
  SpellingTable<LongSpelling> longs;
  // The part of shorts in use: 2^(64 - shift) entries from the start; mask
  // is that number less one; at `grow_at` used entries it grows, up to
  // 2^max_bits entries.
  int shift;
  std::size_t mask;
  std::size_t grow_at;
  int max_bits;
  int long_shift;
  std::size_t long_mask;
  std::uint32_t spill_at;
  bool longs_ready;  // the long table's pages made ready
  Sink sink;
};

// Where a spelling's search starts: its text, zero-padded to 32 bytes as
// the words w0..w3, is mixed down to two words (w0 ^ w3, w1 ^ w2) and
// hashed; the top bits pick the entry. The SIMD lookups and the table's
// growth must agree on it, so both come here.
inline std::size_t spelling_mix(std::uint64_t a, std::uint64_t b, int shift) {
  const std::uint64_t h = (a ^ (b * 0xC2B2AE3D27D4EB4FULL)) * 0x9E3779B97F4A7C15ULL;
  return static_cast<std::size_t>(h >> shift);
}

// Asks for huge pages for part `part` of `parts` of `store`, if a cache
// attached to it for `expected_bytes` starts large enough to earn them.
// attach_spellings leaves this to its caller, to be done before other
// threads start: the advice changes the process's memory map, which holds
// up every other thread's page faults and page-readying calls meanwhile
// (measured: a second thread's setup 1 to 17 ms late, instead of 0.4).
// REQUIRES: as attach_spellings.
void prefer_huge_spellings(SpellingStore* store, int part, int parts, std::uint64_t expected_bytes);

// Gives `cache` part `part` of `parts` of `store`, empty, sized for about
// `expected_bytes` of input (0: not known), so that it seldom has to grow,
// and counting into `sink`. A count that reaches `spill_at` is moved to the
// sink (tests lower it).
// REQUIRES: parts is a power of two, at most 16; part < parts; no other
// cache uses the same part; the part is empty (as the store starts, and as
// flush_spellings and clear_spellings leave it).
void attach_spellings(SpellingCache* cache, SpellingStore* store, int part, int parts,
                      std::uint64_t expected_bytes, std::uint32_t spill_at, Sink sink);

// Counts a spelling not in the cache, whose search ended at the free entry
// `at`: adds it there, or counts it directly when the table is full; finds
// or notes its key, or says why the run stops or that the room is full.
// REQUIRES: 1 <= len <= kShortSpellingMaxLen; shorts.entries[at] is free.
Outcome add_short_spelling(SpellingCache* cache, const unsigned char* p, int len, std::size_t at);
// The same for a long spelling.
// REQUIRES: kShortSpellingMaxLen < len <= kLongSpellingMaxLen;
// longs.entries[at] is free.
Outcome add_long_spelling(SpellingCache* cache, const unsigned char* p, int len, std::size_t at);

// Makes the long table's pages ready as the first long token arrives: every
// lookup reads its entry before a new spelling writes it, so a page left to
// fault would fault twice, and with other threads running, the second time
// costs them a TLB flush.
void ready_long_spellings(SpellingCache* cache);

// Moves one entry's count, less one, to the sink; the entry keeps one.
void spill_short_spelling(SpellingCache* cache, std::size_t at);
void spill_long_spelling(SpellingCache* cache, std::size_t at);

// Replaces each reference to a room's key by the slot it was merged into.
void rebase_spellings(SpellingCache* cache, const Room& room);

// Moves every count to the sink and empties the cache.
void flush_spellings(SpellingCache* cache);
// Empties the cache without counting.
void clear_spellings(SpellingCache* cache);

}  // namespace tally

#endif  // TALLY_SPELLING_CACHE_H_
