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

}  // namespace

std::uint32_t list_avx512(const unsigned char* p, std::uint32_t len, std::uint32_t* start,
                          std::uint32_t* end, std::uint64_t* seps, const Singles& known) {
  return list_chunks<classify_avx512, write_compressed, pack_compressed>(p, len, start, end, seps,
                                                                         known);
}

}  // namespace tally
