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
constexpr std::size_t kBlockSize = std::size_t{32} * 1024;
constexpr std::size_t kPadding = 64;

static_assert(kCarryRoom > kMaxTokenLen, "a carried token always fits");

// What scanning a block reports back to the driver.
struct BlockResult {
  Outcome outcome;
  // Too-long outcomes: the start of the offending token, with at least
  // kTooLongLen of its bytes readable. kDone, from the scalar scanner: the
  // first byte of the unfinished token to carry into the next block (the
  // block's end when there is none).
  const unsigned char* mark;
};

// The SIMD paths work in two stages on two threads. The reader reads the
// input block by block into a ring of slots and lists where each block's
// tokens start and end; the counter counts the listed tokens, in order.
// A token that runs past a block is copied to the front of the next slot
// and listed there.
constexpr std::size_t kSlotBytes = kCarryRoom + kBlockSize + kPadding;
static_assert(kCarryRoom + kBlockSize + 64 <= 65536, "an offset in a slot fits 16 bits");
// Within a run of letters and digits only a number can be followed by
// another token, an identifier, so no three bytes hold more than two tokens.
constexpr std::size_t kMaxSlotTokens = (kCarryRoom + kBlockSize) * 2 / 3 + 2;
constexpr std::size_t kListSlack = 32;  // room for whole-vector stores past the end

struct Slot {
  alignas(64) unsigned char bytes[kSlotBytes];
  // The tokens' first bytes and the bytes just past them, as offsets into
  // `bytes`; the counter reads the first `tokens` of each.
  std::uint16_t starts[kMaxSlotTokens + 1 + kListSlack];
  std::uint16_t ends[kMaxSlotTokens + 1 + kListSlack];
  std::uint32_t tokens;
  std::ptrdiff_t read;  // what reading the block gave: bytes, 0 at the end, -1
  int error;            // errno value, when read is -1
  // No slot follows: the end of the input, a read error, or a token listed
  // last that is too long.
  bool last;
};

// The reader's counts of the bytes outside tokens, added to the character
// table when the input has been read.
struct SeparatorCounts {
  std::uint64_t of[256];
};

// The reader's part: lists the whole tokens of `from` to `end` in `slot`
// and counts the other bytes in `seps`. Returns the first byte of a token
// to carry into the next slot, or `end`. A token to carry that is already
// too long is listed instead, and the slot marked last.
// REQUIRES: `from` to `end` lie in slot->bytes, `from` at the start of a
// token or of the new bytes; carried bytes are all letters and digits.
using TokenLister = const unsigned char* (*)(Slot* slot, const unsigned char* from,
                                             const unsigned char* end, bool eof,
                                             SeparatorCounts* seps);
// The counter's part: counts the slot's listed tokens. Returns kDone, or
// the stop and the token that caused it.
using TokenCounter = BlockResult (*)(const Slot& slot);

struct FastScanner {
  TokenLister list;
  TokenCounter count;
};
extern const FastScanner kAvx2Scanner;
extern const FastScanner kAvx512Scanner;

// Counts one finished token of `len` bytes at `p` in its token table (not
// in the character table), or says why the run stops.
// REQUIRES: the words covering p[0, len] are readable.
Outcome count_token(const unsigned char* p, std::ptrdiff_t len, bool identifier);

// count_token, and each of the token's bytes in the character table: how
// the SIMD paths count a token that has no place in the spelling table.
Outcome count_token_and_bytes(const unsigned char* p, std::ptrdiff_t len, bool identifier);

}  // namespace tally

#endif  // TALLY_SCAN_INTERNAL_H_
