// The AVX-512 path. Compiled with AVX-512 F, BW and VBMI2; run only on CPUs
// that have them.
#include <immintrin.h>

// GCC 12 warns about the deliberately undefined source vectors inside its
// own AVX-512 intrinsics once they are inlined; the warning says nothing
// about this file's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include "scan_chunks.h"

namespace tally {
namespace {

ChunkMasks classify_avx512(const unsigned char* p, std::uint32_t /*left*/, const Singles& known) {
  const __m512i v = _mm512_loadu_si512(p);
  const __m512i folded = _mm512_or_si512(v, _mm512_set1_epi8(0x20));
  ChunkMasks m;
  m.letters =
      _mm512_cmplt_epu8_mask(_mm512_sub_epi8(folded, _mm512_set1_epi8('a')), _mm512_set1_epi8(26));
  m.digits =
      _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8('0')), _mm512_set1_epi8(10));
  m.spaces = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(' '));
  m.newlines = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n'));
  m.tabs = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\t'));
  // Each byte's bit of Singles: its row by the low nibble, its bit by the high.
  const __m512i nibble = _mm512_set1_epi8(0x0F);
  const __m512i rows =
      _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(known.by_low)));
  const __m512i bits =
      _mm512_broadcast_i32x4(_mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0));
  m.known = _mm512_test_epi8_mask(
      _mm512_shuffle_epi8(rows, _mm512_and_si512(v, nibble)),
      _mm512_shuffle_epi8(bits, _mm512_and_si512(_mm512_srli_epi16(v, 4), nibble)));
  return m;
}

// write_positions by one byte compress of the lane numbers: sixteen at a
// time, with no branch for a chunk of up to sixteen tokens.
inline std::uint32_t write_compressed(std::uint32_t* out, std::uint32_t base, std::uint64_t m) {
  const __m512i lanes = _mm512_set_epi8(
      63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42, 41,
      40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18,
      17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i packed = _mm512_maskz_compress_epi8(m, lanes);
  const __m512i at = _mm512_set1_epi32(static_cast<int>(base));
  const auto n = static_cast<std::uint32_t>(__builtin_popcountll(m));
  _mm512_storeu_si512(out,
                      _mm512_add_epi32(_mm512_cvtepu8_epi32(_mm512_castsi512_si128(packed)), at));
  if (n > 16) {
    for (int quarter = 1; quarter < 4; ++quarter) {
      const __m128i next = quarter == 1   ? _mm512_extracti32x4_epi32(packed, 1)
                           : quarter == 2 ? _mm512_extracti32x4_epi32(packed, 2)
                                          : _mm512_extracti32x4_epi32(packed, 3);
      _mm512_storeu_si512(out + std::ptrdiff_t{16} * quarter,
                          _mm512_add_epi32(_mm512_cvtepu8_epi32(next), at));
    }
  }
  return n;
}

// pack_bytes by one byte compress.
inline std::uint32_t pack_compressed(unsigned char* out, const unsigned char* p, std::uint64_t m) {
  _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(m, _mm512_loadu_si512(p)));
  return static_cast<std::uint32_t>(__builtin_popcountll(m));
}

// Counts the bytes of b[0, n) whose values are common in a sample of its
// start (for UTF-8 its lead bytes, for a binary its zeros, for short numbers
// their digits) by compare and popcount, and moves the others to the front,
// in order; returns how many those are. REQUIRES: n >= 240.
inline std::uint32_t sift_common(std::uint64_t* seps, unsigned char* b, std::uint32_t n) {
  constexpr int kSample = 240;  // short enough that no count wraps
  alignas(64) unsigned char seen[kCodes] = {};
  for (int i = 0; i < kSample; ++i) ++seen[b[i]];
  // Up to four values: first those over one byte in sixteen of the sample,
  // then those over one in thirty-two. They pay for their compares only if
  // together they are over an eighth of it.
  constexpr int kMost = 4;
  unsigned value[kMost];
  int found = 0, share = 0;
  for (int tier = 0; tier < 2; ++tier) {
    const __m512i over = _mm512_set1_epi8(tier == 0 ? kSample / 16 : kSample / 32);
    const __m512i most = _mm512_set1_epi8(static_cast<char>(tier == 0 ? kSample : kSample / 16));
    for (int q = 0; q < 4 && found < kMost; ++q) {
      const __m512i s = _mm512_load_si512(seen + std::ptrdiff_t{64} * q);
      std::uint64_t m = _mm512_cmpgt_epu8_mask(s, over) & _mm512_cmple_epu8_mask(s, most);
      for (; m != 0 && found < kMost; m &= m - 1) {
        value[found] = static_cast<unsigned>(64 * q + __builtin_ctzll(m));
        share += seen[value[found++]];
      }
    }
  }
  if (share <= kSample / 8) return n;
  for (int k = found; k < kMost; ++k) value[k] = value[0];
  __m512i v[kMost];
  for (int k = 0; k < kMost; ++k) v[k] = _mm512_set1_epi8(static_cast<char>(value[k]));
  std::uint64_t counted[kMost] = {};
  std::uint32_t kept = 0, i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m512i x = _mm512_loadu_si512(b + i);
    __mmask64 taken = 0;
    for (int k = 0; k < kMost; ++k) {
      // A value repeated to fill the four finds nothing the first did not.
      const __mmask64 m = _mm512_mask_cmpeq_epi8_mask(~taken, x, v[k]);
      counted[k] += static_cast<std::uint64_t>(__builtin_popcountll(m));
      taken |= m;
    }
    // kept <= i: the store lands on bytes already read.
    _mm512_storeu_si512(b + kept, _mm512_maskz_compress_epi8(~taken, x));
    kept += static_cast<std::uint32_t>(__builtin_popcountll(~taken));
  }
  for (; i < n; ++i) b[kept++] = b[i];
  for (int k = 0; k < kMost; ++k) seps[value[k]] += counted[k];
  return kept;
}

}  // namespace

std::uint32_t list_avx512(const unsigned char* p, std::uint32_t len, std::uint32_t* start,
                          std::uint32_t* end, std::uint64_t* seps, const Singles& known) {
  return list_chunks<classify_avx512, write_compressed, pack_compressed, sift_common>(
      p, len, start, end, seps, known);
}

}  // namespace tally
