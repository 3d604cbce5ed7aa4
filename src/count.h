// Counting one stretch of the input: reading it a buffer at a time, listing
// each slice's tokens and counting each token under its spelling.
#ifndef TALLY_COUNT_H_
#define TALLY_COUNT_H_

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "input.h"
#include "scan.h"
#include "tally_tables.h"

namespace tally {

// How counting ended. The stops, from kWordTooLong on, end the run with a
// message and exit status 1, before any report.
enum class Outcome {
  kDone,           // the stretch, or the input, is counted
  kHandBack,       // a worker met what it cannot settle alone: the rest of
                   // its stretch is counted in order, after the merge
  kWordTooLong,    // an identifier reached kTooLongLen characters
  kNumberTooLong,  // a number reached kTooLongLen digits
  kWordsFull,      // a new identifier arrived at a full table
  kNumbersFull,    // a new number arrived at a full table
  kReadError,      // the input could not be read
};

struct PassResult {
  Outcome outcome;
  int error;  // errno value, for kReadError
  // For the too-long stops: the token's first kTooLongLen characters
  // (identifiers in lower case), not NUL-terminated.
  char token[kTooLongLen];
};

// Letters and digits.
constexpr int kSingleBytes = 2 * 26 + 10;

// What a stretch is counted into. The run's first stretch counts into the
// tables of tally_tables.h (`spell` is `&spellings`, `seps` is
// letterCount) and settles everything; a worker counts into a table of its
// own, and hands back at a token it cannot hold.
struct Tally {
  KeyTable* spell;
  std::uint64_t* seps;  // kCodes counts of separator bytes (see Lister)
  bool settles;
  // The spellings of one byte that `spell` holds: the lister counts them
  // in `seps`, from where they go to their entries after each slice.
  Singles singles = {};
  int single_count = 0;
  unsigned char single_byte[kSingleBytes] = {};
  std::uint16_t single_entry[kSingleBytes] = {};
  // The bytes of tokens counted in their keys without a spelling, for the
  // character table: apart from `seps`, where letters and digits are the
  // lister's.
  std::uint64_t direct_bytes[kCodes] = {};
};

// A counting thread's buffers: the input with room to carry a token over
// and the scan's padding, and the token lists. Reads are of kReadSize bytes
// in a stretch of kLongStretch or more, else half that; the lists hold one
// slice, half a read, at a time, or a token of up to 2 * kTooLongLen bytes
// listed again after it filled a smaller slice.
constexpr std::size_t kReadSize = std::size_t{128} * 1024;
constexpr std::uint64_t kLongStretch = std::uint64_t{8} << 20;
constexpr std::size_t kBufferSize = kReadSize + kTooLongLen + kScanPadding;
constexpr std::size_t kListSize =
    std::max(kReadSize / 2, std::size_t{2} * kTooLongLen) + kScanPadding;
struct Buffers {
  unsigned char data[kBufferSize];
  std::uint32_t start[kListSize];
  std::uint32_t end[kListSize];
};

constexpr std::uint64_t kToEnd = ~std::uint64_t{0};

// Counts the tokens that start in [from, to) and the separators there, into
// `t`, reading at most `read_size` bytes at a time (0: as above); with
// in.read_at, at offsets, else in order from where `in` stands. Returns the
// offset where counting ended: `to` or the end of input for kDone, the
// start of the token (or read) it stopped at otherwise. Stops early, with
// kHandBack, once `cancel` is set.
// REQUIRES: `from` and `to` are where a token begins or a separator is, or
// the ends of the input; `from` == 0 without in.read_at.
std::uint64_t count_stretch(const Input& in, const Scanner& scan, Tally* t, Buffers* b,
                            std::uint64_t from, std::uint64_t to, std::size_t read_size,
                            const std::atomic<bool>* cancel, PassResult* result);

// Adds `n` occurrences of the spelling `key` to `t`; kHandBack when `t`
// cannot hold a new spelling and does not settle. With `keep` false, a
// spelling new to a table that settles is counted in its key directly, as
// when the spelling table is full: a merged worker's spellings seldom come
// again.
// REQUIRES: key.p[0] is a letter (an identifier) or a digit (a number).
Outcome count_spelling(Tally* t, const Key& key, std::uint64_t n, bool keep = true);

}  // namespace tally

#endif  // TALLY_COUNT_H_
