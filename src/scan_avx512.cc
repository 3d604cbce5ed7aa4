// The AVX-512 block scanner. Compiled with AVX-512 (F and BW) enabled; run
// only on CPUs that have it.
#include <immintrin.h>

#include "scan_fast.h"

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

}  // namespace

BlockResult scan_block_avx512(const unsigned char* from, const unsigned char* data,
                              const unsigned char* end, bool eof) {
  return scan_block_masks<classify>(from, data, end, eof);
}

}  // namespace tally
