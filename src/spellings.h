// The spelling table: how the SIMD paths count tokens of up to 28 bytes.
#ifndef TALLY_SPELLINGS_H_
#define TALLY_SPELLINGS_H_

#include <cstddef>
#include <cstdint>

#include "scan.h"

namespace tally {

// The fast paths count short tokens by their exact spelling, case and all,
// in an open-addressing table of spellings. A token then costs one hash and
// one compare, and its characters are tallied once per spelling instead of
// once per byte. fold_spellings() moves the spelling counts into the token
// tables and the character table at the end of the input.
//
// The table starts small and doubles each time it is 5/8 full, so that a
// text with few spellings keeps its lookups in the nearest caches. At full
// size and 5/8 full it takes no more spellings: one met for the first time
// after that is counted directly in the tables, as a long token is. The
// spellings a text shows first are mostly its common ones, and those stay.
constexpr int kSpellingMaxLen = 28;
constexpr int kSpellingMinBits = 12;
constexpr int kSpellingMaxBits = 16;
constexpr std::size_t kSpellingSlots = std::size_t{1} << kSpellingMaxBits;
constexpr std::size_t kSpellingLimit = kSpellingSlots * 5 / 8;

// An entry: the spelling's text, zero-padded (tokens hold no zero byte),
// then its count, zero for a free entry. A count that reaches
// g_spelling_spill is moved into the tables (spill_spelling) and starts
// again from one; tests lower the threshold to reach that path.
template <int kTextLen>
struct SpellingOf {
  unsigned char text[std::size_t{kTextLen}];
  std::uint32_t count;
};
using Spelling = SpellingOf<kSpellingMaxLen>;  // 32 bytes, two to a cache line
static_assert(sizeof(Spelling) == 32, "a spelling is one 32-byte vector");
extern std::uint32_t g_spelling_spill;

// Longer tokens, up to 60 bytes, have a table of their own with entries of
// a cache line each. Long tokens are few, and few of them differ: the table
// has a fixed size and, once 5/8 full, counts new ones directly.
constexpr int kLongSpellingMaxLen = 60;
constexpr int kLongSpellingBits = 12;
constexpr std::size_t kLongSpellingSlots = std::size_t{1} << kLongSpellingBits;
constexpr std::size_t kLongSpellingLimit = kLongSpellingSlots * 5 / 8;
using LongSpelling = SpellingOf<kLongSpellingMaxLen>;
static_assert(sizeof(LongSpelling) == 64, "a long spelling is one cache line");
extern LongSpelling g_long_spellings[kLongSpellingSlots];

extern Spelling g_spellings[kSpellingSlots];
// The part of g_spellings in use: 2^(64 - shift) entries from the start;
// mask is that number less one.
extern int g_spelling_shift;
extern std::size_t g_spelling_mask;

// Where a spelling's search starts: its text, zero-padded to 32 bytes as
// the words w0..w3, is folded to two words (w0 ^ w3, w1 ^ w2) and mixed;
// the top bits pick the entry. The SIMD lookups and the table's growth
// must agree on it, so both come here.
static inline std::size_t spelling_mix(std::uint64_t a, std::uint64_t b, int shift) {
  const std::uint64_t h = (a ^ (b * 0xC2B2AE3D27D4EB4FULL)) * 0x9E3779B97F4A7C15ULL;
  return static_cast<std::size_t>(h >> shift);
}

// Counts a spelling not in the table, whose search ended at the free entry
// `at`: adds it there, or counts it directly when the table is full; finds
// or adds its key in the token table, or says why the run stops.
// REQUIRES: 1 <= len <= kSpellingMaxLen; g_spellings[at].count == 0.
Outcome add_spelling(const unsigned char* p, int len, std::size_t at);

// The same for a long spelling.
// REQUIRES: kSpellingMaxLen < len <= kLongSpellingMaxLen;
// g_long_spellings[at].count == 0.
Outcome add_long_spelling(const unsigned char* p, int len, std::size_t at);

// Moves every count into the tables and empties the spelling tables.
void fold_spellings();
// Moves one entry's count, less one, into the tables; the entry keeps one.
void spill_spelling(std::size_t at);
void spill_long_spelling(std::size_t at);
// Empties the spelling tables without counting, the first back to its least
// size, for a new run after one that stopped early.
void discard_spellings();

}  // namespace tally

#endif  // TALLY_SPELLINGS_H_
