// Counting one stretch: read, list, then count each listed token.
#include "count.h"

#include <algorithm>
#include <cstring>

namespace tally {
namespace {

std::ptrdiff_t read_some(const Input& in, unsigned char* dst, std::size_t cap, std::uint64_t at,
                         int* err) {
  return in.read_at != nullptr ? in.read_at(in.ctx, dst, cap, at, err)
                               : in.read(in.ctx, dst, cap, err);
}

// Lower case for an identifier's bytes: letters and digits differ from it
// only in bit 0x20, which digits already have.
void fold(const unsigned char* p, std::uint32_t len, unsigned char* out) {
  for (std::uint32_t i = 0; i < len; ++i) out[i] = static_cast<unsigned char>(p[i] | 0x20);
}

// The key of an identifier's spelling in lower case. One of up to 16 bytes
// is folded in its words, and its bytes are not read again; a longer one is
// folded into `buf`.
Key fold_key(const Key& key, unsigned char* buf) {
  constexpr std::uint64_t kFold = 0x2020202020202020;
  if (key.len <= kWordKey) {
    const std::uint64_t head = key.head | (kFold & kShortMasks.m[key.len]);
    return Key{key.p, key.len, head, 0, head * kHashMul};
  }
  if (key.len <= kTwoWordKey) {
    const std::uint64_t head = key.head | kFold;
    const std::uint64_t tail = key.tail | (kFold & kShortMasks.m[key.len - kWordKey]);
    return Key{key.p, key.len, head, tail, two_word_hash(head, tail)};
  }
  fold(key.p, key.len, buf);
  return make_key(buf, key.len);
}

// Notes `e`, a new spelling of one byte, for the lister.
void add_single(Tally* t, unsigned char c, int e) {
  unsigned char& row = t->singles.by_low[c & 15u];
  row = static_cast<unsigned char>(row | 1u << (c >> 4));
  t->single_byte[t->single_count] = c;
  t->single_entry[t->single_count++] = static_cast<std::uint16_t>(e);
}

// Moves what the lister counted of the spellings of one byte to them.
void take_singles(Tally* t) {
  for (int i = 0; i < t->single_count; ++i) {
    std::uint64_t& n = t->seps[t->single_byte[i]];
    t->spell->count[t->single_entry[i]] += n;
    n = 0;
  }
}

// The too-long stop at the token at `p`, of at least kTooLongLen bytes.
Outcome too_long(const Tally& t, const unsigned char* p, PassResult* result) {
  if (!t.settles) return Outcome::kHandBack;
  const bool number = is_digit(p[0]);
  if (number) {
    std::memcpy(result->token, p, kTooLongLen);
  } else {
    fold(p, kTooLongLen, reinterpret_cast<unsigned char*>(result->token));
  }
  return number ? Outcome::kNumberTooLong : Outcome::kWordTooLong;
}

// count_spelling for a spelling that `t->spell` does not hold.
Outcome new_spelling(Tally* t, const Key& key, std::uint64_t n, bool keep) {
  KeyTable& spell = *t->spell;
  if (!t->settles) {
    const int added = add(&spell, key, n);
    if (added != 0 && key.len == 1) add_single(t, key.p[0], added);
    return added != 0 ? Outcome::kDone : Outcome::kHandBack;
  }
  const bool number = is_digit(key.p[0]);
  KeyTable& table = number ? myNumber : myContainer;
  // `k` may point into `folded`.
  // cppcheck-suppress variableScope
  unsigned char folded[kMaxTokenLen + 8];
  const Key k = number ? key : fold_key(key, folded);
  int entry = find(table, k);
  if (entry == 0) entry = add(&table, k, 0);
  if (entry == 0) return number ? Outcome::kNumbersFull : Outcome::kWordsFull;
  const int added = keep ? add(&spell, key, n) : 0;
  if (added != 0) {
    spell.about[added].link = static_cast<std::uint16_t>(entry);
    if (key.len == 1) add_single(t, key.p[0], added);
    return Outcome::kDone;
  }
  // No room for another spelling, or none asked for: this one is counted
  // as it comes.
  table.count[entry] += n;
  add_key_bytes(t->direct_bytes, key.p, key.len, n);
  return Outcome::kDone;
}

// Counts tokens [0, n) of the lists; returns the offset of the token it
// stopped at, with result->outcome set, or ~0u.
// performance critical: this loop is most of a run's time.
std::uint32_t count_tokens(Tally* t, const unsigned char* data, const Buffers* b, std::uint32_t n,
                           PassResult* result) {
  KeyTable& spell = *t->spell;
  // The index's size changes only when a key is added.
  int shift = spell.shift;
  for (std::uint32_t k = 0; k < n; ++k) {
    const unsigned char* p = data + b->start[k];
    const std::uint32_t len = b->end[k] - b->start[k];
    // The key's fields as values of their own: a Key that is passed on is
    // stored to memory with every token.
    std::uint64_t head, tail = 0, hash;
    // Marked likely so that a short key found in its first slot runs
    // straight through, with one taken branch a token rather than three.
    if (__builtin_expect(len <= kWordKey, 1)) {
      head = short_head(p, len);
      hash = head * kHashMul;
      const int e = spell.index[hash >> shift];
      if (__builtin_expect(spell.head[e] == head, 1)) {
        ++spell.count[e];
        continue;
      }
    } else if (len <= kTwoWordKey) {
      head = load_word(p) | kTwoWordBit;
      tail = short_head(p + 8, len - 8);
      hash = two_word_hash(head, tail);
      const int e = spell.index[hash >> shift];
      if (spell.head[e] == head && spell.tail[e] == tail) {
        ++spell.count[e];
        continue;
      }
    } else {
      if (len >= kTooLongLen) {
        result->outcome = too_long(*t, p, result);
        return b->start[k];
      }
      head = hash = long_head(p, len);
    }
    // Another key holds the token's first slot: probe on.
    const Key key{p, len, head, tail, hash};
    const int found = find_counted(&spell, key);
    if (found != 0) {
      ++spell.count[found];
      continue;
    }
    result->outcome = new_spelling(t, key, 1, true);
    if (result->outcome != Outcome::kDone) return b->start[k];
    shift = spell.shift;
  }
  return ~0u;
}

}  // namespace

Outcome count_spelling(Tally* t, const Key& key, std::uint64_t n, bool keep) {
  KeyTable& spell = *t->spell;
  const int e = find(spell, key);
  if (e != 0) {
    spell.count[e] += n;
    return Outcome::kDone;
  }
  return new_spelling(t, key, n, keep);
}

std::uint64_t count_stretch(const Input& in, const Scanner& scan, Tally* t, Buffers* b,
                            std::uint64_t from, std::uint64_t to, std::size_t read_size,
                            const std::atomic<bool>* cancel, PassResult* result) {
  if (read_size == 0) {
    // Reads of twice the size ask the system half as often, but take 16
    // pages more: worth it only for a long stretch.
    const std::uint64_t end = in.size != 0 && in.size < to ? in.size : to;
    read_size = end != kToEnd && end - from >= kLongStretch ? kReadSize : kReadSize / 2;
  }
  if (read_size > kReadSize) read_size = kReadSize;
  const auto slice_size = static_cast<std::uint32_t>(read_size > 1 ? read_size / 2 : 1);
  std::uint64_t pos = from;  // the offset of b->data[0]
  std::uint32_t carry = 0;   // bytes of an unfinished token at b->data[0]
  result->outcome = Outcome::kDone;
  for (;;) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
      result->outcome = Outcome::kHandBack;
      return pos;
    }
    const std::uint64_t at = pos + carry;
    // At least as many new bytes as are carried, so that a long token is
    // listed again only a few times however small the reads; but from a
    // pipe or a terminal only what is there, which may be all there is
    // for a while.
    std::size_t want = carry > read_size ? carry : read_size;
    if (to - at < want) want = static_cast<std::size_t>(to - at);
    std::size_t got = 0;
    while (got < want) {
      int err = 0;
      const std::ptrdiff_t n = read_some(in, b->data + carry + got, want - got, at + got, &err);
      if (n == 0) break;
      if (n < 0) {
        if (got != 0) break;  // what came before the error is counted first
        result->outcome = t->settles ? Outcome::kReadError : Outcome::kHandBack;
        result->error = err;
        return pos;
      }
      got += static_cast<std::size_t>(n);
      if (in.blocking) break;
    }
    const bool last = got == 0;
    const auto len = static_cast<std::uint32_t>(carry + got);
    // Listed and counted half a read at a time, so that the lists and the
    // bytes they point into stay in the nearest caches, while the system is
    // asked for twice as much at once.
    std::uint32_t from_here = 0, next = len, size = slice_size;
    for (;;) {
      unsigned char* data = b->data + from_here;
      const std::uint32_t slice = std::min(len - from_here, size);
      const bool final_slice = from_here + slice == len;
      const std::uint32_t listed = scan.list(data, slice, b->start, b->end, t->seps, t->singles);
      // A token that reaches the end of the slice may go on past it.
      std::uint32_t whole = listed;
      next = from_here + slice;
      if ((!last || !final_slice) && listed > 0 && b->end[listed - 1] == slice) {
        next = from_here + b->start[--whole];
      }
      const Singles known = t->singles;  // as listed: counting may add to it
      const std::uint32_t stop = count_tokens(t, data, b, whole, result);
      if (stop != ~0u && result->outcome == Outcome::kHandBack) {
        // Whoever counts on from the token takes its separators too. Those
        // before it stay: listed again in the same chunks, up to and with the
        // token's first byte, which is no separator but decides whether a
        // token of one byte just before it went with them.
        std::uint64_t all[kCodes] = {}, before[kCodes] = {};
        scan.list(data, slice, b->start, b->end, all, known);
        scan.list(data, stop + 1, b->start, b->end, before, known);
        for (int c = 0; c < kCodes; ++c) t->seps[c] += before[c] - all[c];
      }
      take_singles(t);
      if (stop != ~0u) return pos + from_here + stop;
      if (final_slice) break;
      if (next == from_here) {
        // The slice is one token, which nothing has counted yet: too long,
        // or listed again in a slice twice the size.
        if (slice >= kTooLongLen) {
          result->outcome = too_long(*t, data, result);
          return pos + from_here;
        }
        size = 2 * slice;
        continue;
      }
      from_here = next;
      size = slice_size;
    }
    if (last) return pos + len;
    carry = len - next;
    if (carry >= kTooLongLen) {
      result->outcome = too_long(*t, b->data + next, result);
      return pos + next;
    }
    std::memmove(b->data, b->data + next, carry);
    pos += next;
  }
}

}  // namespace tally
