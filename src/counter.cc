// Counting buffers and stretches of input.
#include "counter.h"

#include <cstring>

namespace tally {
namespace {

bool is_digit(unsigned char b) {
  return static_cast<unsigned char>(b - '0') < 10;
}
bool is_alnum(unsigned char b) {
  return is_digit(b) || static_cast<unsigned char>((b | 0x20) - 'a') < 26;
}

// Reads up to `n` bytes at `offset`, across short reads. Returns how many:
// fewer only at the end of the input or, with `*err` set, where a read
// failed.
std::size_t read_fully(const Input& in, unsigned char* dst, std::size_t n, std::uint64_t offset,
                       int* err) {
  std::size_t got = 0;
  while (got < n) {
    const std::ptrdiff_t r = in.read_at(in.ctx, dst + got, n - got, offset + got, err);
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

// How many of the `n` bytes at `p` go on a token of the kind that `first`
// begins: digits after a digit, letters and digits after a letter.
std::size_t extent(unsigned char first, const unsigned char* p, std::size_t n) {
  std::size_t k = 0;
  while (k < n && (is_digit(first) ? is_digit(p[k]) : is_alnum(p[k]))) ++k;
  return k;
}

// Counts the carried token of `len` bytes at `token`, which runs over the
// stretch's end at offset `to`, with the rest of it read just after.
// Returns the offset past it, or the token's own offset if the room is full.
std::uint64_t count_crossing(const Input& in, const Counter& c, unsigned char* token,
                             std::size_t len, std::uint64_t to, PassResult* result) {
  int err = 0;
  // kTooLongLen more bytes tell whether the token ends, or is too long;
  // only if they fail to before a read fails, that failure comes first.
  const std::size_t n = read_fully(in, token + len, kTooLongLen, to, &err);
  const std::size_t more = extent(token[0], token + len, n);
  if (err != 0 && more == n && len + more < kTooLongLen) {
    result->outcome = Outcome::kReadError;
    result->error = err;
    return to;
  }
  TokenList& list = *c.list;
  list.base = token;
  list.starts[0] = 0;
  list.ends[0] = static_cast<std::uint16_t>(len + more);
  list.tokens = 1;
  list.too_long = false;
  record_stop(c.scan->count(list, c.cache), result);
  // Out of room, counting goes on from the token.
  return result->outcome == Outcome::kOutOfRoom ? to - len : to + more;
}

}  // namespace

void record_stop(const CountResult& r, PassResult* result) {
  result->outcome = r.outcome;
  if (r.outcome != Outcome::kWordTooLong && r.outcome != Outcome::kNumberTooLong) return;
  std::memcpy(result->token, r.mark, kTooLongLen);
  if (r.outcome == Outcome::kWordTooLong) {
    for (char& c : result->token) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
  }
}

const unsigned char* count_buffer(const Counter& c, const unsigned char* from,
                                  const unsigned char* end, bool eof, PassResult* result) {
  for (;;) {
    const auto part = static_cast<std::ptrdiff_t>(kPartSize);
    const unsigned char* const to = end - from > part ? from + part : end;
    const unsigned char* const rest = c.scan->list(c.list, from, to, eof && to == end, c.seps);
    const CountResult r = c.scan->count(*c.list, c.cache);
    if (r.outcome != Outcome::kDone) {
      record_stop(r, result);
      if (r.outcome == Outcome::kOutOfRoom) {
        // Counting goes on from the token later: the separators listed past
        // it are counted again then. (The counts add up modulo 2^64.)
        for (const unsigned char* p = r.mark; p < to; ++p) {
          if (!is_alnum(*p)) --c.seps->of[*p];
        }
      }
      return r.mark;
    }
    if (to == end) return rest;
    from = rest;
  }
}

std::uint64_t count_stretch(const Input& in, const Counter& c, unsigned char* buffer,
                            std::uint64_t from, std::uint64_t to, PassResult* result) {
  unsigned char* const data = buffer + kCarryRoom;
  result->outcome = Outcome::kDone;
  Carry carry;
  std::uint64_t pos = from;  // where the next read begins
  for (;;) {
    const unsigned char* const first = place(carry, data);
    const std::uint64_t first_at = pos - carry.len;
    if (pos == to) {
      if (carry.len == 0) return to;
      return count_crossing(in, c, data - carry.len, carry.len, to, result);
    }
    if (pos >= c.pause_at || (c.pause != nullptr && c.pause->load(std::memory_order_relaxed))) {
      result->outcome = Outcome::kPaused;
      return first_at;
    }
    std::uint64_t want = to - pos < kStretchRead ? to - pos : kStretchRead;
    if (c.pause_at - pos < want) want = c.pause_at - pos;
    int err = 0;
    const std::ptrdiff_t n = in.read_at(in.ctx, data, static_cast<std::size_t>(want), pos, &err);
    if (n < 0) {
      result->outcome = Outcome::kReadError;
      result->error = err;
      return pos;
    }
    const unsigned char* const end = data + n;
    const unsigned char* const rest = count_buffer(c, first, end, n == 0, result);
    if (result->outcome != Outcome::kDone)
      return first_at + static_cast<std::uint64_t>(rest - first);
    if (n == 0) return pos;
    carry = Carry{rest, static_cast<std::size_t>(end - rest)};
    pos += static_cast<std::uint64_t>(n);
    if (c.reached != nullptr) c.reached->store(pos, std::memory_order_relaxed);
  }
}

bool stretch_start(const Input& in, std::uint64_t cut, std::uint64_t* start) {
  // Two tokens of at most kMaxTokenLen fill a run of letters and digits: a
  // longer run before the cut holds a token too long.
  constexpr std::size_t kBack = std::size_t{2} * kTooLongLen;
  *start = cut;
  if (cut == 0) return true;
  unsigned char back[kBack];
  const std::uint64_t lo = cut > kBack ? cut - kBack : 0;
  const auto nback = static_cast<std::size_t>(cut - lo);
  int err = 0;
  // Bytes before the cut that cannot be read stop an earlier stretch.
  if (read_fully(in, back, nback, lo, &err) != nback || err != 0) return false;
  std::size_t r = nback;  // where the run of letters and digits before the cut starts
  while (r > 0 && is_alnum(back[r - 1])) --r;
  if (r == nback) return true;
  if (r == 0 && lo > 0) return false;
  bool letter = false;
  for (std::size_t k = r; k < nback; ++k) letter |= !is_digit(back[k]);
  unsigned char ahead[kTooLongLen];
  const std::size_t n = read_fully(in, ahead, sizeof ahead, cut, &err);
  const std::size_t more = extent(letter ? static_cast<unsigned char>('a') : '0', ahead, n);
  // A token too long, or one whose end cannot be read, stops the stretch
  // before.
  if (more == sizeof ahead || (err != 0 && more == n)) return false;
  *start = cut + more;
  return true;
}

}  // namespace tally
