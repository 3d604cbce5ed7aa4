// What the counting pass driver and its per-instruction-set block scanners
// share. Everything here is a plain declaration or has internal linkage, so
// code compiled for a wider instruction set never leaks into the baseline.
#ifndef TALLY_SCAN_INTERNAL_H_
#define TALLY_SCAN_INTERNAL_H_

#include <cstddef>
#include <cstdint>

#include "scan.h"
#include "spellings.h"

namespace tally {

// Room before the input bytes for a token carried over from the last read,
// and room after them for whole-word and 64-byte over-reads.
constexpr std::size_t kCarryRoom = 256;
constexpr std::size_t kPadding = 64;
// What one read asks for: on one thread, and into a slot of the ring.
constexpr std::size_t kBufferSize = std::size_t{256} * 1024;
constexpr std::size_t kBlockSize = std::size_t{32} * 1024;

static_assert(kCarryRoom > kMaxTokenLen, "a carried token always fits");

// What counting reports back to the driver.
struct BlockResult {
  Outcome outcome;
  // Too-long outcomes: the start of the offending token, with at least
  // kTooLongLen of its bytes readable.
  const unsigned char* mark;
};

// The SIMD paths work in two stages: listing where the tokens of a stretch
// of input start and end, then counting the listed tokens in order. On a
// large input they run on two threads: a reader reads the input block by
// block into a ring of slots and lists each block's tokens, while the
// counter counts them. A token that runs past a block is copied to the
// front of the next slot and listed there.
// A list holds the tokens of at most kListBytes bytes.
constexpr std::size_t kListBytes = kCarryRoom + kBlockSize;
static_assert(kListBytes + 64 <= 65536, "an offset in a list fits 16 bits");
// Within a run of letters and digits only a number can be followed by
// another token, an identifier, so no three bytes hold more than two tokens.
constexpr std::size_t kMaxListTokens = kListBytes * 2 / 3 + 2;
constexpr std::size_t kListSlack = 32;  // room for whole-vector stores past the end

struct TokenList {
  // The tokens' first bytes and the bytes just past them, as offsets from
  // `base`; the counter reads the first `tokens` of each.
  const unsigned char* base;
  std::uint16_t starts[kMaxListTokens + 1 + kListSlack];
  std::uint16_t ends[kMaxListTokens + 1 + kListSlack];
  std::uint32_t tokens;
  // The last token listed is too long: the count stops there, and so does
  // the listing.
  bool too_long;
};

// The lister's counts of the bytes outside tokens, added to the character
// table when the input has been read. Uncommon separators are tallied in
// four histograms in turn, so that a run of one byte value does not wait on
// its own last increment; they are folded into `of` before they can wrap,
// after g_fold_separators_after bytes (tests lower it).
struct SeparatorCounts {
  std::uint64_t of[256];
  std::uint32_t recent[4][256];
  std::uint64_t recent_bytes;  // bytes listed since the last fold
};
extern std::uint64_t g_fold_separators_after;
void fold_separators(SeparatorCounts* seps);

// Lists the whole tokens of `from` to `end`, with base `from`, and counts
// the other bytes in `seps`. Returns the first byte of a token to carry
// into the next stretch, or `end`; at `eof` every token is whole. A token to
// carry that is already too long is listed instead, as too_long.
// REQUIRES: end - from <= kListBytes, kPadding readable bytes after `end`;
// `from` at the start of a token or of new bytes; bytes carried from an
// earlier stretch are all letters and digits.
using TokenLister = const unsigned char* (*)(TokenList* list, const unsigned char* from,
                                             const unsigned char* end, bool eof,
                                             SeparatorCounts* seps);
// Counts the listed tokens. Returns kDone, or the stop and the token that
// caused it.
using TokenCounter = BlockResult (*)(const TokenList& list);

struct FastScanner {
  TokenLister list;
  TokenCounter count;
};
extern const FastScanner kAvx2Scanner;
extern const FastScanner kAvx512Scanner;

// The number of CPUs to plan the threads for; 0 asks the system. Tests set
// it to reach the reader thread on a pipe.
extern long g_cpus;

// Counts one finished token of `len` bytes at `p` in its token table (not
// in the character table), or says why the run stops.
// REQUIRES: the words covering p[0, len] are readable.
Outcome count_token(const unsigned char* p, std::ptrdiff_t len, bool identifier);

// count_token, and each of the token's bytes in the character table: how
// the SIMD paths count a token that has no place in the spelling table.
Outcome count_token_and_bytes(const unsigned char* p, std::ptrdiff_t len, bool identifier);

}  // namespace tally

#endif  // TALLY_SCAN_INTERNAL_H_
