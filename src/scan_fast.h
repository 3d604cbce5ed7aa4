// The block scanner shared by the SIMD paths: per 64 bytes, a classifier
// gives bitmasks of letters and digits, and tokens are cut by bit arithmetic.
// Included only by the per-instruction-set files, each compiled with its own
// target flags; everything here has internal linkage.
#ifndef TALLY_SCAN_FAST_H_
#define TALLY_SCAN_FAST_H_

#include <cstdint>

#include "scan_internal.h"

namespace tally {
namespace {

inline bool is_letter_byte(unsigned char c) {
  return static_cast<unsigned char>((c | 0x20) - 'a') < 26;
}
inline bool is_digit_byte(unsigned char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Cuts one run of letters and digits, [s, e), into its tokens: a leading
// number when it starts with digits, then an identifier from its first letter.
// On a stop, `mark` is the start of the token that caused it.
inline BlockResult cut_run(const unsigned char* s, const unsigned char* e) {
  const unsigned char* f = s;
  while (f < e && is_digit_byte(*f)) ++f;
  if (f != s) {
    const Outcome o = count_token(s, f - s, false);
    if (o != Outcome::kDone || f == e) return {o, s};
  }
  return {count_token(f, e - f, true), f};
}

// A run reached the block's end with more input to come. Finishes the number
// at its head if a letter already followed it, and returns where the token
// still open begins, or a too-long stop if it is already past the limit.
inline BlockResult carry_run(const unsigned char* s, const unsigned char* end) {
  const unsigned char* t = s;
  if (!is_letter_byte(*s)) {
    while (t < end && is_digit_byte(*t)) ++t;
    if (t < end) {
      const Outcome o = count_token(s, t - s, false);
      if (o != Outcome::kDone) return {o, s};
    }
    else {
      t = s;
    }
  }
  if (end - t >= kTooLongLen) {
    return {is_letter_byte(*t) ? Outcome::kWordTooLong : Outcome::kNumberTooLong, t};
  }
  return {Outcome::kDone, t};
}

// performance critical: the whole input passes through here; please benchmark.
template <void (*Classify)(const unsigned char* p, std::uint64_t* letters, std::uint64_t* digits)>
BlockResult scan_block_masks(const unsigned char* from, const unsigned char* data,
                             const unsigned char* end, bool eof) {
  count_bytes(data, end);
  const unsigned char* run = nullptr;  // start of the run in progress
  std::uint64_t prev_top = 0;          // whether the byte before `base` is in a run
  for (const unsigned char* base = from; base < end; base += 64) {
    std::uint64_t letters;
    std::uint64_t digits;
    Classify(base, &letters, &digits);
    std::uint64_t alnum = letters | digits;
    const std::uint64_t avail = static_cast<std::uint64_t>(end - base);
    if (avail < 64) alnum &= (std::uint64_t{1} << avail) - 1;
    // Each set bit marks where a run starts or where the byte after it is.
    std::uint64_t edges = alnum ^ ((alnum << 1) | prev_top);
    prev_top = alnum >> 63;
    while (edges != 0) {
      if (run == nullptr) {
        run = base + __builtin_ctzll(edges);
        edges &= edges - 1;
        if (edges == 0) break;
      }
      const unsigned char* stop = base + __builtin_ctzll(edges);
      edges &= edges - 1;
      if (stop == end) break;
      const BlockResult r = cut_run(run, stop);
      if (r.outcome != Outcome::kDone) return r;
      run = nullptr;
    }
  }
  if (run == nullptr) return {Outcome::kDone, end};
  if (!eof) return carry_run(run, end);
  const BlockResult r = cut_run(run, end);
  return {r.outcome, r.outcome == Outcome::kDone ? end : r.mark};
}

}  // namespace
}  // namespace tally

#endif  // TALLY_SCAN_FAST_H_
