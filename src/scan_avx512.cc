// The AVX-512 scanning path. Compiled with AVX-512 (F, BW and VBMI2)
// enabled; run only on CPUs that have them.
#include <immintrin.h>

// GCC 12 warns about the deliberately undefined source vectors inside its
// own AVX-512 intrinsics once they are inlined; the warning says nothing
// about this file's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "scan_simd.h"

namespace tally {
namespace {

Masks classify(const unsigned char* p) {
  const __m512i v = _mm512_loadu_si512(p);
  const __m512i folded = _mm512_or_si512(v, _mm512_set1_epi8(0x20));
  Masks m;
  m.letters =
      _mm512_cmplt_epu8_mask(_mm512_sub_epi8(folded, _mm512_set1_epi8('a')), _mm512_set1_epi8(26));
  m.digits =
      _mm512_cmplt_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8('0')), _mm512_set1_epi8(10));
  m.spaces = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(' '));
  m.newlines = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n'));
  return m;
}

// The positions of the set bits by one byte compress: thirty-two at a time
// are widened to 16 bits and stored whole, as flatten_bits allows.
std::uint16_t* flatten_compress(std::uint16_t* out, std::uint32_t base, std::uint64_t bits) {
  const __m512i iota = _mm512_set_epi8(
      63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42, 41,
      40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18,
      17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i packed = _mm512_maskz_compress_epi8(bits, iota);
  const __m512i offset = _mm512_set1_epi16(static_cast<short>(base));
  const int count = __builtin_popcountll(bits);
  _mm512_storeu_si512(
      out, _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm512_castsi512_si256(packed)), offset));
  if (count > 32) {
    _mm512_storeu_si512(
        out + 32,
        _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(packed, 1)), offset));
  }
  return out + count;
}

}  // namespace

const unsigned char* list_avx512(TokenList* list, const unsigned char* from,
                                 const unsigned char* end, bool eof, SeparatorCounts* seps) {
  return list_tokens<classify, flatten_compress>(list, from, end, eof, seps);
}

CountResult count_avx512(const TokenList& list, SpellingCache* cache) {
  return count_tokens(list, cache);
}

}  // namespace tally
