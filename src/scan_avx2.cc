// The AVX2 scanning path. Compiled with AVX2 enabled; run only on CPUs that
// have it.
#include <immintrin.h>

#include "scan_simd.h"

namespace tally {
namespace {

// Bytes in [lo, lo + n_minus_1] as a byte mask, by one unsigned range compare.
inline __m256i in_range(__m256i v, char lo, char n_minus_1) {
  const __m256i x = _mm256_sub_epi8(v, _mm256_set1_epi8(lo));
  return _mm256_cmpeq_epi8(_mm256_min_epu8(x, _mm256_set1_epi8(n_minus_1)), x);
}

inline __m256i equal_to(__m256i v, char c) {
  return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c));
}

inline std::uint64_t bits(__m256i lo, __m256i hi) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(lo)) |
         (static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(hi))) << 32);
}

Masks classify(const unsigned char* p) {
  const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  const __m256i case_bit = _mm256_set1_epi8(0x20);
  Masks m;
  m.letters = bits(in_range(_mm256_or_si256(lo, case_bit), 'a', 25),
                   in_range(_mm256_or_si256(hi, case_bit), 'a', 25));
  m.digits = bits(in_range(lo, '0', 9), in_range(hi, '0', 9));
  m.spaces = bits(equal_to(lo, ' '), equal_to(hi, ' '));
  m.newlines = bits(equal_to(lo, '\n'), equal_to(hi, '\n'));
  return m;
}

}  // namespace

const unsigned char* list_avx2(TokenList* list, const unsigned char* from, const unsigned char* end,
                               bool eof, SeparatorCounts* seps) {
  return list_tokens<classify, flatten_bits>(list, from, end, eof, seps);
}

CountResult count_avx2(const TokenList& list, SpellingCache* cache) {
  return count_tokens(list, cache);
}

}  // namespace tally
