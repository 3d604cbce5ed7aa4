// Listing a buffer's tokens: where each identifier and number starts and
// ends, and how often each separator byte occurs. One plain path and, on
// x86-64, SIMD paths chosen at run time; all give the same lists.
#ifndef TALLY_SCAN_H_
#define TALLY_SCAN_H_

#include <cstddef>
#include <cstdint>

namespace tally {

// Bytes that must be readable past the end of a listed buffer, and the
// slack the lists need past their last entry.
constexpr std::size_t kScanPadding = 64;

// Letters and digits that, read as a token of one byte, need no lookup:
// their spelling is already in the table being counted. Byte b is known
// when bit b / 16 of by_low[b % 16] is set (letters and digits are below
// 128).
struct Singles {
  unsigned char by_low[16];
};

// Lists the tokens of p[0, len), as if the byte at `len` were a separator:
// token k is p[start[k], end[k]), in input order, and the count is
// returned. Adds to seps[b] the occurrences of every byte b in p[0, len)
// that is not a letter, a digit or a space (newlines and tabs included),
// and of every token that is one byte b of `known` and ends inside its
// 64-byte chunk and before `len`: such a token is counted there instead of
// listed.
// p[0] is taken to follow a separator.
// REQUIRES: p[0, len + kScanPadding) is readable; start and end have room
// for len + kScanPadding entries each.
using Lister = std::uint32_t (*)(const unsigned char* p, std::uint32_t len, std::uint32_t* start,
                                 std::uint32_t* end, std::uint64_t* seps, const Singles& known);

struct Scanner {
  const char* name;
  bool (*supported)();
  Lister list;
};

// Every path this build has, fastest first. The last one is the plain
// reference, which every CPU can run and every other path must agree with.
extern const Scanner kScanners[];
extern const std::size_t kScannerCount;

// The fastest path this CPU supports.
const Scanner& best_scanner();

// The path called `name`, or nullptr if there is none.
const Scanner* find_scanner(const char* name);

}  // namespace tally

#endif  // TALLY_SCAN_H_
