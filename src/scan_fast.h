// The block scanner shared by the SIMD paths: per 64 bytes a classifier gives
// bitmasks of letters, digits, spaces and newlines; tokens are cut by bit
// arithmetic and counted by spelling. Included only by the per-instruction-
// set files, each compiled with its own target flags; everything here has
// internal linkage.
#ifndef TALLY_SCAN_FAST_H_
#define TALLY_SCAN_FAST_H_

#include <immintrin.h>

#include <cstdint>

#include "scan_internal.h"

namespace tally {
namespace {

struct Masks {
  std::uint64_t letters;
  std::uint64_t digits;
  std::uint64_t spaces;
  std::uint64_t newlines;
};

inline bool is_digit_byte(unsigned char c) { return static_cast<unsigned char>(c - '0') < 10; }

// 16 bytes of 0xFF then 16 zero bytes: loading at kLowBytes + 16 - n gives
// a mask that keeps the first n bytes.
alignas(64) constexpr unsigned char kLowBytes[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// performance critical: runs once per token; please benchmark changes.
inline Outcome count_short_token(const unsigned char* p, int len) {
  const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLowBytes + 16 - len));
  const __m128i text = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), keep);
  const std::uint64_t lo = static_cast<std::uint64_t>(_mm_cvtsi128_si64(text));
  const std::uint64_t hi = static_cast<std::uint64_t>(_mm_extract_epi64(text, 1));
  const std::uint64_t h = (lo ^ (hi * 0xC2B2AE3D27D4EB4FULL)) * 0x9E3779B97F4A7C15ULL;
  std::size_t at = static_cast<std::size_t>(h >> 48);
  for (;;) {
    Spelling& s = g_spellings[at];
    if (s.count == 0) return add_spelling(p, len, at);
    const __m128i seen = _mm_load_si128(reinterpret_cast<const __m128i*>(s.text));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(seen, text)) == 0xFFFF) {
      ++s.count;
      return Outcome::kDone;
    }
    at = (at + 1) & (kSpellingSlots - 1);
  }
}

// A token longer than a spelling entry: counted byte by byte, as rare as
// long words are. Also where the too-long stop is found.
Outcome count_long_token(const unsigned char* p, std::ptrdiff_t len, bool identifier) {
  const Outcome o = count_token(p, len, identifier);
  if (o == Outcome::kDone) {
    for (std::ptrdiff_t i = 0; i < len; ++i) ++letterCount[p[i]];
  }
  return o;
}

inline Outcome count_fast_token(const unsigned char* s, const unsigned char* e) {
  const std::ptrdiff_t len = e - s;
  if (len <= kSpellingMaxLen) return count_short_token(s, static_cast<int>(len));
  return count_long_token(s, len, !is_digit_byte(*s));
}

// Counts the separators of one 64-byte chunk: spaces and newlines by
// population count, the rarer others one by one.
inline void count_separators(const unsigned char* base, const Masks& m, std::uint64_t valid,
                             std::uint64_t* spaces, std::uint64_t* newlines) {
  *spaces += static_cast<std::uint64_t>(__builtin_popcountll(m.spaces & valid));
  *newlines += static_cast<std::uint64_t>(__builtin_popcountll(m.newlines & valid));
  std::uint64_t others = valid & ~(m.letters | m.digits | m.spaces | m.newlines);
  while (others != 0) {
    ++letterCount[base[__builtin_ctzll(others)]];
    others &= others - 1;
  }
}

// What a token that runs to the block's end becomes: carried into the next
// block, or a too-long stop if it already has too many characters.
inline BlockResult carry_token(const unsigned char* s, const unsigned char* end) {
  if (end - s >= kTooLongLen) {
    return {is_digit_byte(*s) ? Outcome::kNumberTooLong : Outcome::kWordTooLong, s};
  }
  return {Outcome::kDone, s};
}

// performance critical: the whole input passes through here; please benchmark.
//
// Within a run of letters and digits, the leading digits form a number and
// the rest, from the first letter, an identifier. With D the digits and S the
// runs' starts that are digits, D + S carries through exactly those leading
// digit runs, so D & ~(D + S) is the set of bytes that belong to numbers.
template <Masks (*Classify)(const unsigned char* p)>
BlockResult scan_block_masks(const unsigned char* from, const unsigned char* /*data*/,
                             const unsigned char* end, bool eof) {
  std::uint64_t spaces = 0;
  std::uint64_t newlines = 0;
  std::uint64_t prev_number = 0;  // whether the byte before `base` is in a number
  std::uint64_t prev_word = 0;    // ... in an identifier
  const unsigned char* open = nullptr;  // start of a token not yet ended
  BlockResult result{Outcome::kDone, end};
  for (const unsigned char* base = from; base < end; base += 64) {
    const Masks m = Classify(base);
    const std::uint64_t avail = static_cast<std::uint64_t>(end - base);
    const std::uint64_t valid = avail >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << avail) - 1;
    // Carried bytes are all letters and digits, so only new bytes are counted.
    count_separators(base, m, valid, &spaces, &newlines);

    const std::uint64_t digits = m.digits & valid;
    const std::uint64_t alnum = (m.letters & valid) | digits;
    const std::uint64_t run_starts = alnum & ~((alnum << 1) | prev_number | prev_word);
    const std::uint64_t number_starts = (run_starts & digits) | (prev_number & digits);
    const std::uint64_t number = digits & ~(digits + number_starts);
    const std::uint64_t word = alnum & ~number;
    const std::uint64_t number_before = (number << 1) | prev_number;
    const std::uint64_t word_before = (word << 1) | prev_word;
    std::uint64_t starts = (number & ~number_before) | (word & ~word_before);
    std::uint64_t ends = (number_before & ~number) | (word_before & ~word);
    prev_number = number >> 63;
    prev_word = word >> 63;

    // Starts and ends alternate; a token still open from an earlier chunk
    // takes the first end.
    if (open != nullptr) {
      if (ends == 0) continue;
      const unsigned char* e = base + __builtin_ctzll(ends);
      ends &= ends - 1;
      if (e == end && !eof) {
        result = carry_token(open, end);
        open = nullptr;
        break;
      }
      const Outcome o = count_fast_token(open, e);
      if (o != Outcome::kDone) return {o, open};
      open = nullptr;
    }
    while (starts != 0) {
      const unsigned char* s = base + __builtin_ctzll(starts);
      starts &= starts - 1;
      if (ends == 0) {
        open = s;
        break;
      }
      const unsigned char* e = base + __builtin_ctzll(ends);
      ends &= ends - 1;
      if (e == end && !eof) {
        open = nullptr;
        result = carry_token(s, end);
        break;
      }
      const Outcome o = count_fast_token(s, e);
      if (o != Outcome::kDone) return {o, s};
    }
    if (result.mark != end) break;
  }
  if (open != nullptr) {
    // The token runs exactly to the end of the last whole chunk.
    if (!eof) {
      result = carry_token(open, end);
    }
    else {
      const Outcome o = count_fast_token(open, end);
      if (o != Outcome::kDone) return {o, open};
    }
  }
  letterCount[' '] += spaces;
  letterCount['\n'] += newlines;
  return result;
}

}  // namespace
}  // namespace tally

#endif  // TALLY_SCAN_FAST_H_
