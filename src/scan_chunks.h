// The lister, written once over a path's classification of 64-byte chunks.
// Each path's file includes this and instantiates list_chunks with its own
// classifier, compiled for its own instruction set.
#ifndef TALLY_SCAN_CHUNKS_H_
#define TALLY_SCAN_CHUNKS_H_

#include <cstdint>

#include "scan.h"
#include "tally_tables.h"

namespace tally {

// One chunk's bytes as bit masks, bit i for byte i.
struct ChunkMasks {
  std::uint64_t letters, digits, spaces, newlines, tabs;
  std::uint64_t known;  // bytes of Singles, wherever they are
};

// Writes base + the position of each set bit of `m`, in order, and returns
// how many. The first eight are written whatever the count, so that the
// usual chunk takes no branch that depends on its data.
// REQUIRES: `out` has room for 8 more entries than `m` has bits.
static inline __attribute__((always_inline)) std::uint32_t write_positions(std::uint32_t* out,
                                                                           std::uint32_t base,
                                                                           std::uint64_t m) {
  const auto n = static_cast<std::uint32_t>(__builtin_popcountll(m));
  for (int i = 0; i < 8; ++i) {
    out[i] = base + static_cast<std::uint32_t>(__builtin_ctzll(m | (std::uint64_t{1} << 63)));
    m &= m - 1;
  }
  for (std::uint32_t i = 8; i < n; ++i) {
    out[i] = base + static_cast<std::uint32_t>(__builtin_ctzll(m));
    m &= m - 1;
  }
  return n;
}

// Writes the bytes of the chunk at `p` that `m` selects, in order, and
// returns how many. REQUIRES: `out` has room for 64 bytes.
static inline __attribute__((always_inline)) std::uint32_t pack_bytes(unsigned char* out,
                                                                      const unsigned char* p,
                                                                      std::uint64_t m) {
  std::uint32_t n = 0;
  for (; m != 0; m &= m - 1) out[n++] = p[__builtin_ctzll(m)];
  return n;
}

// A `sift` that counts none of the bytes itself: see add_bytes.
static inline std::uint32_t sift_none(std::uint64_t* /*seps*/, unsigned char* /*b*/,
                                      std::uint32_t n) {
  return n;
}

// Adds each of n bytes to its count. A batch is first given to `sift`, which
// may count some of its bytes its own way and leave the rest at its front;
// those are spread over eight tables so that a byte value that comes every
// few bytes (as UTF-8 lead bytes do) does not wait on its own count.
template <std::uint32_t (*sift)(std::uint64_t*, unsigned char*, std::uint32_t)>
static inline void add_bytes(std::uint64_t* seps, unsigned char* b, std::uint32_t n) {
  if (n >= 1024) n = sift(seps, b, n);
  if (n < 1024) {
    for (std::uint32_t i = 0; i < n; ++i) ++seps[b[i]];
    return;
  }
  constexpr std::uint32_t kParts = 8;
  std::uint32_t part[kParts][kCodes] = {};
  std::uint32_t i = 0;
  for (; i + kParts <= n; i += kParts) {
    // By a pointer: a 32-bit index would be widened for every byte.
    const unsigned char* q = b + i;
    for (std::uint32_t j = 0; j < kParts; ++j) ++part[j][q[j]];
  }
  for (; i < n; ++i) ++part[0][b[i]];
  for (int c = 0; c < kCodes; ++c) {
    std::uint64_t sum = 0;
    for (std::uint32_t j = 0; j < kParts; ++j) sum += part[j][c];
    seps[c] += sum;
  }
}

// The lister of scan.h over a path's `classify`, a function from 64
// readable bytes to their masks (of which only the first `left` count), its
// `write` and `pack`, write_positions and pack_bytes or faster equivalents,
// and its `sift` for add_bytes. Separators are gathered a few thousand at a
// time and counted in one loop.
//
// Token bytes are letters and digits. A run of them is a number for as long
// as it is digits from its start, and an identifier from its first letter
// on; so the number part is found by adding each run's start bit to the
// digit mask, which carries through the run's leading digits.
template <ChunkMasks (*classify)(const unsigned char*, std::uint32_t, const Singles&),
          std::uint32_t (*write)(std::uint32_t*, std::uint32_t, std::uint64_t) = write_positions,
          std::uint32_t (*pack)(unsigned char*, const unsigned char*, std::uint64_t) = pack_bytes,
          std::uint32_t (*sift)(std::uint64_t*, unsigned char*, std::uint32_t) = sift_none>
static inline __attribute__((always_inline)) std::uint32_t list_chunks(
    const unsigned char* p, std::uint32_t len, std::uint32_t* start, std::uint32_t* end,
    std::uint64_t* seps, const Singles& known) {
  std::uint32_t starts = 0, ends = 0;
  unsigned char others[16384];
  std::uint32_t packed = 0;
  std::uint64_t prev_token = 0, prev_number = 0, prev_word = 0;
  // Up to and including the chunk that holds `len`, where the last token ends.
  for (std::uint32_t at = 0; at <= len; at += 64) {
    const std::uint32_t left = len - at;
    const ChunkMasks m = classify(p + at, left, known);
    const std::uint64_t valid = left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
    const std::uint64_t digits = m.digits & valid;
    const std::uint64_t token = (m.letters & valid) | digits;
    const std::uint64_t run_start = token & ~(token << 1 | prev_token);
    const std::uint64_t number_start = run_start & digits;
    const std::uint64_t number = ((digits + number_start + prev_number) ^ digits) & digits;
    const std::uint64_t word = token & ~number;
    const std::uint64_t word_start = word & ~(word << 1 | prev_word);
    // Known tokens of one byte that end inside the chunk and before `len`
    // go with the separators: the byte after a token's first is not part
    // of it.
    const std::uint64_t single =
        ((number_start & ~(number >> 1)) | (word_start & ~(word >> 1))) & m.known & (valid >> 1);
    const std::uint64_t ended =
        ((number << 1 | prev_number) & ~number) | ((word << 1 | prev_word) & ~word);
    prev_token = token >> 63;
    prev_number = number >> 63;
    prev_word = word >> 63;
    starts += write(start + starts, at, (number_start | word_start) & ~single);
    ends += write(end + ends, at, ended & ~(single << 1));

    seps[kNewline] += static_cast<std::uint64_t>(__builtin_popcountll(m.newlines & valid));
    seps[kTab] += static_cast<std::uint64_t>(__builtin_popcountll(m.tabs & valid));
    packed +=
        pack(others + packed, p + at, (~(token | m.spaces | m.newlines | m.tabs) & valid) | single);
    if (packed > sizeof others - 64) {
      add_bytes<sift>(seps, others, packed);
      packed = 0;
    }
  }
  add_bytes<sift>(seps, others, packed);
  TALLY_CHECK(starts == ends);
  return starts;
}

}  // namespace tally

#endif  // TALLY_SCAN_CHUNKS_H_
