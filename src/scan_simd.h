// The two stages shared by the SIMD paths: listing the tokens of a stretch
// by bit arithmetic on per-chunk masks, and counting them through the
// spelling cache. Included only by the per-instruction-set files, each
// compiled with its own target flags; everything here has internal linkage,
// so code built for a wider instruction set never reaches the baseline.
#ifndef TALLY_SCAN_SIMD_H_
#define TALLY_SCAN_SIMD_H_

#include <immintrin.h>

#include <cstdint>

#include "kernels.h"
#include "spelling_cache.h"

namespace tally {
namespace {

struct Masks {
  std::uint64_t letters;
  std::uint64_t digits;
  std::uint64_t spaces;
  std::uint64_t newlines;
};

// 32 bytes of 0xFF then 32 zero bytes: loading at kLowBytes + 32 - n gives
// a mask that keeps the first n bytes.
alignas(64) constexpr unsigned char kLowBytes[64] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// A short token's bytes, zero-padded to 32.
// REQUIRES: 1 <= len <= kShortSpellingMaxLen; 32 bytes readable at p.
inline __m256i spelling_text(const unsigned char* p, std::ptrdiff_t len) {
  const __m256i keep = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kLowBytes + 32 - len));
  return _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), keep);
}

// Where a spelling's search starts in its table.
inline std::size_t spelling_home(__m256i text, int shift) {
  const __m128i lo = _mm256_castsi256_si128(text);
  const __m128i hi = _mm256_extracti128_si256(text, 1);
  // The upper half is zero for all but the longer tokens; mixing it in with
  // a rotation keeps the common case to one 16-byte hash.
  const __m128i mixed = _mm_xor_si128(lo, _mm_shuffle_epi32(hi, 0x4E));
  const std::uint64_t a = static_cast<std::uint64_t>(_mm_cvtsi128_si64(mixed));
  const std::uint64_t b = static_cast<std::uint64_t>(_mm_extract_epi64(mixed, 1));
  return spelling_mix(a, b, shift);
}

// performance critical: runs once per short token; please benchmark changes.
// REQUIRES: 1 <= len <= kShortSpellingMaxLen; `at` is the spelling's home.
inline Outcome count_short_token(SpellingCache* c, const unsigned char* p, std::ptrdiff_t len,
                                 std::size_t at) {
  const __m256i text = spelling_text(p, len);
  for (;;) {
    ShortSpelling& s = c->shorts.entries[at];
    const __m256i seen = _mm256_load_si256(reinterpret_cast<const __m256i*>(&s));
    // Only the text bytes are compared; a free entry's are all zero and a
    // token's never are.
    constexpr std::uint32_t kText = (std::uint32_t{1} << kShortSpellingMaxLen) - 1;
    if ((static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(seen, text))) & kText) ==
        kText) {
      if (++s.count == c->spill_at) spill_short_spelling(c, at);
      return Outcome::kDone;
    }
    if (s.count == 0) return add_short_spelling(c, p, static_cast<int>(len), at);
    at = (at + 1) & c->mask;
  }
}

// performance critical: runs once per long token; please benchmark changes.
// REQUIRES: kShortSpellingMaxLen < len <= kLongSpellingMaxLen; 64 bytes
// readable at p.
inline Outcome count_long_token(SpellingCache* c, const unsigned char* p, std::ptrdiff_t len) {
  if (!c->longs_ready) ready_long_spellings(c);
  const auto keep = [](std::ptrdiff_t n) {  // 0 <= n <= 32
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kLowBytes + 32 - n));
  };
  const __m256i lo = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
                                      keep(len < 32 ? len : 32));
  const __m256i hi = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)),
                                      keep(len > 32 ? len - 32 : 0));
  std::size_t at = spelling_home(_mm256_xor_si256(lo, hi), c->long_shift);
  for (;;) {
    LongSpelling& s = c->longs.entries[at];
    const __m256i* seen = reinterpret_cast<const __m256i*>(&s);
    const auto same = [](const __m256i* a, __m256i b) {
      return static_cast<std::uint32_t>(
          _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_load_si256(a), b)));
    };
    // The last four bytes hold the count, not text.
    if ((same(seen, lo) & (same(seen + 1, hi) | 0xF0000000u)) == 0xFFFFFFFFu) {
      if (++s.count == c->spill_at) spill_long_spelling(c, at);
      return Outcome::kDone;
    }
    if (s.count == 0) return add_long_spelling(c, p, static_cast<int>(len), at);
    at = (at + 1) & c->long_mask;
  }
}

// Writes the positions of the set bits of `bits`, plus `base`, at `out` and
// returns the end of what it wrote. It writes eight or sixteen entries
// whatever the count, so that the usual case takes no unpredictable branch.
// REQUIRES: 16 writable entries past the count; base + 63 < 65536. A
// scanner may bring a faster one with the same contract.
inline std::uint16_t* flatten_bits(std::uint16_t* out, std::uint32_t base, std::uint64_t bits) {
  const int count = __builtin_popcountll(bits);
  const auto next = [&] {
    const auto at = static_cast<std::uint16_t>(base + static_cast<std::uint32_t>(_tzcnt_u64(bits)));
    bits = _blsr_u64(bits);
    return at;
  };
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) out[i] = next();
  if (count > 8) {
#pragma GCC unroll 8
    for (int i = 8; i < 16; ++i) out[i] = next();
    for (int i = 16; i < count; ++i) out[i] = next();
  }
  return out + count;
}

// Tallies the bytes at `from` plus each offset in [at, end).
inline void tally_others(SeparatorCounts* seps, const unsigned char* from, const std::uint16_t* at,
                         const std::uint16_t* end) {
  auto& n = seps->recent;
  for (; end - at >= 4; at += 4) {
    ++n[0][from[at[0]]];
    ++n[1][from[at[1]]];
    ++n[2][from[at[2]]];
    ++n[3][from[at[3]]];
  }
  for (; at < end; ++at) ++n[0][from[*at]];
}

// performance critical: the whole input passes through here; please benchmark.
//
// Per 64 bytes the classifier gives masks of letters, digits, spaces and
// newlines. Within a run of letters and digits, the leading digits form a
// number and the rest, from the first letter, an identifier. With D the
// digits and S the runs' starts that are digits, D + S carries through
// exactly those leading digit runs, so D & ~(D + S) is the set of bytes that
// belong to numbers. Token starts and ends are the edges of those sets.
template <Masks (*Classify)(const unsigned char* p),
          std::uint16_t* (*flatten)(std::uint16_t* out, std::uint32_t base, std::uint64_t bits)>
const unsigned char* list_tokens(TokenList* list, const unsigned char* from,
                                 const unsigned char* end, bool eof, SeparatorCounts* seps) {
  // Uncommon separators are listed a group at a time, then tallied.
  constexpr std::uint32_t kGroupSize = 2048;
  std::uint16_t others[kGroupSize + kListSlack];
  const auto size = static_cast<std::uint32_t>(end - from);
  list->base = from;
  list->too_long = false;
  std::uint16_t* starts = list->starts;
  std::uint16_t* ends = list->ends;
  std::uint64_t prev_number = 0;  // whether the byte before a chunk is in a number
  std::uint64_t prev_word = 0;    // ... in an identifier
  std::uint64_t spaces = 0;
  std::uint64_t newlines = 0;
  for (std::uint32_t group = 0; group < size; group += kGroupSize) {
    std::uint16_t* other = others;
    const std::uint32_t group_end = size - group < kGroupSize ? size : group + kGroupSize;
    for (std::uint32_t at = group; at < group_end; at += 64) {
      const Masks m = Classify(from + at);
      const std::uint32_t avail = size - at;
      const std::uint64_t valid = avail >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << avail) - 1;
      const std::uint64_t digits = m.digits & valid;
      const std::uint64_t alnum = (m.letters & valid) | digits;
      const std::uint64_t run_starts = alnum & ~((alnum << 1) | prev_number | prev_word);
      const std::uint64_t number_starts = (run_starts & digits) | (prev_number & digits);
      const std::uint64_t number = digits & ~(digits + number_starts);
      const std::uint64_t word = alnum & ~number;
      const std::uint64_t number_before = (number << 1) | prev_number;
      const std::uint64_t word_before = (word << 1) | prev_word;
      prev_number = number >> 63;
      prev_word = word >> 63;
      starts = flatten(starts, at, (number & ~number_before) | (word & ~word_before));
      ends = flatten(ends, at, (number_before & ~number) | (word_before & ~word));
      // Carried bytes are all letters and digits, so only new bytes count here.
      spaces += static_cast<std::uint64_t>(__builtin_popcountll(m.spaces & valid));
      newlines += static_cast<std::uint64_t>(__builtin_popcountll(m.newlines & valid));
      other = flatten(other, at - group, valid & ~(alnum | m.spaces | m.newlines));
    }
    tally_others(seps, from + group, others, other);
  }
  if ((seps->recent_bytes += size) >= seps->flush_after) flush_recent_separators(seps);
  seps->of[static_cast<int>(' ')] += spaces;
  seps->of[static_cast<int>('\n')] += newlines;

  // Starts and ends alternate, so the k-th end closes the k-th start. The
  // last token is unfinished, unless the input ends here, if it runs to the
  // block's end: then either its end is the block's end, or, when the block
  // ends with a whole chunk, it has no end listed.
  auto closed = static_cast<std::uint32_t>(ends - list->ends);
  const auto opened = static_cast<std::uint32_t>(starts - list->starts);
  bool open = false;
  if (opened > closed) {
    list->ends[closed] = static_cast<std::uint16_t>(size);
    open = !eof;
    ++closed;
  } else if (closed > 0 && list->ends[closed - 1] == size) {
    open = !eof;
  }
  list->tokens = closed;
  if (!open) return end;
  const unsigned char* const carried = from + list->starts[closed - 1];
  if (end - carried >= kTooLongLen) {
    list->too_long = true;  // the counter stops at it
    return end;
  }
  list->tokens = closed - 1;
  return carried;
}

// performance critical: runs once per token; please benchmark changes.
//
// The tokens are taken a batch at a time: first every short token's
// spelling entry is asked for, so that the cache misses overlap; then the
// tokens are counted.
inline CountResult count_tokens(const TokenList& list, SpellingCache* c) {
  constexpr std::uint32_t kBatch = 256;
  std::uint32_t homes[kBatch];
  for (std::uint32_t first = 0; first < list.tokens; first += kBatch) {
    const std::uint32_t last = list.tokens - first < kBatch ? list.tokens : first + kBatch;
    const int shift = c->shift;
    for (std::uint32_t k = first; k < last; ++k) {
      const std::ptrdiff_t len = list.ends[k] - list.starts[k];
      if (len > kShortSpellingMaxLen) continue;
      const std::size_t home = spelling_home(spelling_text(list.base + list.starts[k], len), shift);
      _mm_prefetch(reinterpret_cast<const char*>(&c->shorts.entries[home]), _MM_HINT_T0);
      homes[k - first] = static_cast<std::uint32_t>(home);
    }
    for (std::uint32_t k = first; k < last; ++k) {
      const unsigned char* s = list.base + list.starts[k];
      const std::ptrdiff_t len = list.ends[k] - list.starts[k];
      // A growth while counting may have moved homes.
      const Outcome o =
          len > kLongSpellingMaxLen    ? sink_count(c->sink, s, len)
          : len > kShortSpellingMaxLen ? count_long_token(c, s, len)
          : shift == c->shift
              ? count_short_token(c, s, len, homes[k - first])
              : count_short_token(c, s, len, spelling_home(spelling_text(s, len), c->shift));
      if (o != Outcome::kDone) return {o, s};
    }
  }
  return {Outcome::kDone, nullptr};
}

}  // namespace
}  // namespace tally

#endif  // TALLY_SCAN_SIMD_H_
