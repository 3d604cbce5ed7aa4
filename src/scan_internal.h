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

// count_token, and each of the token's bytes in the character table: how
// the SIMD paths count a token that has no place in the spelling table.
Outcome count_token_and_bytes(const unsigned char* p, std::ptrdiff_t len, bool identifier);

}  // namespace tally

#endif  // TALLY_SCAN_INTERNAL_H_
