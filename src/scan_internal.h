// What the counting pass driver and its per-instruction-set block scanners
// share. Everything here is a plain declaration, so code compiled for a wider
// instruction set never leaks into the baseline.
#ifndef TALLY_SCAN_INTERNAL_H_
#define TALLY_SCAN_INTERNAL_H_

#include <cstddef>
#include <cstdint>

#include "scan.h"

namespace tally {

// Room before the input bytes for a token carried over from the last block,
// and room after them for whole-word and 64-byte over-reads.
constexpr std::size_t kCarryRoom = 256;
constexpr std::size_t kBlockSize = std::size_t{256} * 1024;
constexpr std::size_t kPadding = 64;

static_assert(kCarryRoom > kMaxTokenLen, "a carried token always fits");

// What a block scanner reports back to the driver.
struct BlockResult {
  Outcome outcome;
  // kDone: the first byte of the unfinished token to carry into the next
  // block (the block's end when there is none). Too-long outcomes: the start
  // of the offending token, with at least kTooLongLen of its bytes readable.
  const unsigned char* mark;
};

// Scans one block. `data` to `end` are new input bytes, each to be counted
// in the character table once; `from` to `data` are bytes carried over from
// the last block, not yet counted, beginning at the start of a token. When
// `eof`, a token running to `end` is finished instead of carried.
// REQUIRES: `from` <= `data` <= `end`; kPadding readable bytes after `end`.
using BlockScanner = BlockResult (*)(const unsigned char* from, const unsigned char* data,
                                     const unsigned char* end, bool eof);

BlockResult scan_block_avx2(const unsigned char* from, const unsigned char* data,
                            const unsigned char* end, bool eof);
BlockResult scan_block_avx512(const unsigned char* from, const unsigned char* data,
                              const unsigned char* end, bool eof);

// Counts one finished token of `len` bytes at `p` in its token table (not
// in the character table), or says why the run stops.
// REQUIRES: the words covering p[0, len] are readable.
Outcome count_token(const unsigned char* p, std::ptrdiff_t len, bool identifier);

// The fast paths count short tokens by their exact spelling, case and all,
// in an open-addressing table of spellings. A token then costs one hash and
// one compare, and its characters are tallied once per spelling instead of
// once per byte. fold_spellings() moves the spelling counts into the token
// tables and the character table; it runs when the spelling table fills up
// and at the end of the input.
//
// The table starts small and doubles each time it is 5/8 full, so that a
// text with few spellings keeps its lookups in the nearest caches. At full
// size, a table 5/8 full is folded and starts again empty.
constexpr int kSpellingMaxLen = 28;
constexpr int kSpellingMinBits = 12;
constexpr int kSpellingMaxBits = 16;
constexpr std::size_t kSpellingSlots = std::size_t{1} << kSpellingMaxBits;
constexpr std::size_t kSpellingLimit = kSpellingSlots * 5 / 8;

// Thirty-two bytes, two to a cache line. A count that reaches
// g_spelling_spill is moved into the tables (spill_spelling) and starts
// again from one; tests lower the threshold to reach that path.
struct Spelling {
  unsigned char text[kSpellingMaxLen];  // zero-padded; tokens hold no zero byte
  std::uint32_t count;                  // zero: a free entry
};
static_assert(sizeof(Spelling) == 32, "a spelling is one 32-byte vector");
extern std::uint32_t g_spelling_spill;

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

// Counts a spelling met for the first time (since the last fold) in the
// free entry `at`: finds or adds its key in the token table, or stops.
// REQUIRES: 1 <= len <= kSpellingMaxLen; g_spellings[at].count == 0.
Outcome add_spelling(const unsigned char* p, int len, std::size_t at);

void fold_spellings();
void spill_spelling(std::size_t at);

}  // namespace tally

#endif  // TALLY_SCAN_INTERNAL_H_
