// The two stages of every scanning path, and what passes between them and
// the pass driver: listing where the tokens of a stretch of input start and
// end, then counting the listed tokens in order.
#ifndef TALLY_TOKEN_LIST_H_
#define TALLY_TOKEN_LIST_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tally_tables.h"

namespace tally {

// Sizes, largest first:
//   read   what one read on the counting thread asks for (kReadSize);
//   block  what the reader thread reads into one slot of its ring
//          (kBlockSize), when a second thread reads;
//   part   what is listed and then counted at a time on one thread, so that
//          it is counted while still in the nearest cache (kPartSize);
//   group  how many bytes' uncommon separators a SIMD lister collects
//          before it tallies them (kGroupSize, in scan_simd.h);
//   chunk  the 64 bytes that a SIMD lister classifies at once.
constexpr std::size_t kReadSize = std::size_t{256} * 1024;
constexpr std::size_t kBlockSize = std::size_t{32} * 1024;
constexpr std::size_t kPartSize = 4096;

// Room before the input bytes for a token carried over from the last read,
// and room after them for whole-word and 64-byte over-reads.
constexpr std::size_t kCarryRoom = 256;
constexpr std::size_t kPadding = 64;
static_assert(kCarryRoom > kMaxTokenLen, "a carried token always fits");

// A list holds the tokens of at most kListBytes bytes: a carried token and
// a block.
constexpr std::size_t kListBytes = kCarryRoom + kBlockSize;
static_assert(kListBytes + 64 <= 65536, "an offset in a list fits 16 bits");
static_assert(kPartSize <= kBlockSize, "a part fits a list");
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

// A lister's counts of the bytes outside tokens, added to the character
// table when the input has been read. The SIMD listers tally uncommon
// separators in four histograms in turn, so that a run of one byte value
// does not wait on its own last increment; those are added into `of` before
// they can wrap, after `flush_after` bytes.
struct SeparatorCounts {
  std::uint64_t of[256];
  std::uint32_t recent[4][256];
  std::uint64_t recent_bytes;  // bytes listed since the last flush
  std::uint64_t flush_after;
};
void flush_recent_separators(SeparatorCounts* seps);
// Adds every count to the character table.
void add_separators(SeparatorCounts* seps);

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

// How counting a list ended: kDone, or the stop and, for a token too long,
// its first byte, with at least kTooLongLen of its bytes readable.
struct CountResult {
  Outcome outcome;
  const unsigned char* mark;
};

struct SpellingCache;
// Counts the listed tokens, each with its bytes, through `cache` where the
// path has one.
// REQUIRES: kPadding readable bytes after the list's last token.
using TokenCounter = CountResult (*)(const TokenList& list, SpellingCache* cache);

// The unfinished token at the end of the input read so far.
struct Carry {
  const unsigned char* from = nullptr;
  std::size_t len = 0;
};

// Moves the carried token to just before `data`, where the next read goes,
// and returns where it starts now.
// REQUIRES: kCarryRoom bytes before `data` belong to the same buffer.
inline const unsigned char* place(const Carry& carry, unsigned char* data) {
  if (carry.len != 0) std::memmove(data - carry.len, carry.from, carry.len);
  return data - carry.len;
}

}  // namespace tally

#endif  // TALLY_TOKEN_LIST_H_
