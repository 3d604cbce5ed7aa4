// The AVX2 path. Compiled with AVX2 and BMI1; run only on CPUs that have
// them.
#include <immintrin.h>

#include "scan_chunks.h"

namespace tally {
namespace {

// The bytes of one 32-byte half equal to `c`, as bits.
std::uint64_t equal(__m256i v, char c) {
  return static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(c))));
}

// Bytes from `lo` to `lo + n - 1`, compared as signed bytes after a shift
// that puts that range at the bottom of the signed order.
std::uint64_t in_range(__m256i v, char lo, char n) {
  const __m256i shifted = _mm256_add_epi8(v, _mm256_set1_epi8(static_cast<char>(-128 - lo)));
  const __m256i below = _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(-128 + n)), shifted);
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(below));
}

ChunkMasks classify_avx2(const unsigned char* p, std::uint32_t /*left*/, const Singles& known) {
  ChunkMasks m{};
  // Each byte's bit of Singles: its row by the low nibble, its bit by the high.
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i rows =
      _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(known.by_low)));
  const __m256i bits = _mm256_broadcastsi128_si256(
      _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0));
  for (int half = 0; half < 2; ++half) {
    const __m256i v =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + std::ptrdiff_t{32} * half));
    const __m256i folded = _mm256_or_si256(v, _mm256_set1_epi8(0x20));
    const int shift = 32 * half;
    m.letters |= in_range(folded, 'a', 26) << shift;
    m.digits |= in_range(v, '0', 10) << shift;
    m.spaces |= equal(v, ' ') << shift;
    m.newlines |= equal(v, '\n') << shift;
    m.tabs |= equal(v, '\t') << shift;
    const __m256i row = _mm256_shuffle_epi8(rows, _mm256_and_si256(v, nibble));
    const __m256i bit =
        _mm256_shuffle_epi8(bits, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
    const __m256i none = _mm256_cmpeq_epi8(_mm256_and_si256(row, bit), _mm256_setzero_si256());
    m.known |= std::uint64_t{~static_cast<std::uint32_t>(_mm256_movemask_epi8(none))} << shift;
  }
  return m;
}

}  // namespace

std::uint32_t list_avx2(const unsigned char* p, std::uint32_t len, std::uint32_t* start,
                        std::uint32_t* end, std::uint64_t* seps, const Singles& known) {
  return list_chunks<classify_avx2>(p, len, start, end, seps, known);
}

}  // namespace tally
