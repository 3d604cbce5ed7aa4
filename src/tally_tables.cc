// The tally tables and their find-or-add, with a hash index over the slots.
#include "tally_tables.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "huge_pages.h"

namespace tally {

std::uint64_t linec;
std::uint64_t wordc;
std::uint64_t cc;

std::uint64_t letterCount[kCodes];
std::int32_t letterCountFlag[kCodes];

alignas(kHugePage) char myContainer[kMaxKeys][kSlotSize];
std::uint64_t wordCount[kMaxKeys];
std::int32_t wordCountFlag[kMaxKeys];
std::int32_t w_num;

alignas(kHugePage) char myNumber[kMaxKeys][kSlotSize];
std::uint64_t numCount[kMaxKeys];
std::int32_t numCountFlag[kMaxKeys];
std::int32_t n_num;

namespace {
constexpr std::uint32_t kMinMask = (std::uint32_t{1} << kIndexMinBits) - 1;
// Page-aligned, so that their pages are made ready whole.
alignas(kSmallPage) std::uint32_t wordIndex[kIndexSize];
alignas(kSmallPage) std::uint32_t numIndex[kIndexSize];
std::uint32_t wordIndexMask = kMinMask;
std::uint32_t numIndexMask = kMinMask;
std::uint32_t wordHashes[kMaxKeys];
std::uint32_t numHashes[kMaxKeys];
bool wordKeysHuge;
bool numKeysHuge;

constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ULL;
// Slots whose pages are made ready at once as the first of them is taken.
constexpr int kReadySlots = 256;
constexpr int kReadyCountSlots = 2048;
// Slots in one huge page; the tables start on one.
constexpr int kHugeSlots = static_cast<int>(kHugePage / kSlotSize);

std::uint64_t load_word(const void* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Keeps the first `n` bytes of `w` in memory order, zeroing the rest.
// REQUIRES: 0 <= n < 8.
std::uint64_t keep_bytes(std::uint64_t w, int n) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return n == 0 ? 0 : w & ~(~std::uint64_t{0} >> (8 * n));
#else
  return w & ((std::uint64_t{1} << (8 * n)) - 1);
#endif
}

bool same_key(const char* slot, const KeyText& key) {
  for (int i = 0; i < key.nwords; ++i) {
    if (load_word(slot + std::ptrdiff_t{8} * i) != key.words[i]) return false;
  }
  return true;
}

void clear_table(const TokenTable& t) {
  for (int i = 0; i < *t.fill; ++i) {
    std::memset(t.keys[i], 0, kSlotSize);
    t.counts[i] = 0;
    t.flags[i] = 0;
  }
  *t.fill = 0;
  std::memset(t.index, 0, (std::size_t{*t.mask} + 1) * sizeof *t.index);
  *t.mask = kMinMask;
}

// Places slot `slot`, whose hash is `h`, at the first free entry from its home.
void place(const TokenTable& t, std::uint32_t h, int slot) {
  std::uint32_t pos = h & *t.mask;
  while (t.index[pos] != 0) pos = (pos + 1) & *t.mask;
  t.index[pos] = (h & 0xFFFF0000u) | static_cast<std::uint32_t>(slot + 1);
}

// Doubles the index and places every slot again.
void grow_index(const TokenTable& t) {
  // The new half's pages in one call, not a fault each.
  populate_pages(t.index + *t.mask + 1, (std::size_t{*t.mask} + 1) * sizeof *t.index);
  *t.mask = *t.mask * 2 + 1;
  std::memset(t.index, 0, (std::size_t{*t.mask} + 1) * sizeof *t.index);
  for (int i = 0; i < *t.fill; ++i) place(t, t.hashes[i], i);
}
}  // namespace

void check_failed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "tally: internal check failed: %s (%s:%d)\n", what, file, line);
  std::abort();
}

const TokenTable kIdentifiers = {myContainer, wordCount,      wordCountFlag, &w_num,
                                 wordIndex,   &wordIndexMask, wordHashes,    &wordKeysHuge};
const TokenTable kNumbers = {myNumber, numCount,      numCountFlag, &n_num,
                             numIndex, &numIndexMask, numHashes,    &numKeysHuge};

void prefer_huge_keys(const TokenTable& t) {
  if (*t.huge_keys) return;
  *t.huge_keys = true;
  prefer_huge_pages(t.keys, sizeof(char[kMaxKeys][kSlotSize]));
}

// performance critical: runs once per token on the scalar path, and once
// per new spelling or long token on the others; please benchmark changes.
void make_key(const unsigned char* src, int len, bool fold_case, Key* key) {
  // Digits already have bit 0x20 set, so OR-ing it into every byte of an
  // identifier lower-cases its letters and leaves its digits alone.
  TALLY_CHECK(len >= 1 && len <= kMaxTokenLen);
  const std::uint64_t fold = fold_case ? 0x2020202020202020ULL : 0;
  const int full = len / 8;
  std::uint64_t h = static_cast<std::uint64_t>(len) * kMul;
  for (int i = 0; i < full; ++i) {
    const std::uint64_t w = load_word(src + std::ptrdiff_t{8} * i) | fold;
    key->words[i] = w;
    h = (h ^ w) * kMul;
  }
  const std::uint64_t last = keep_bytes(load_word(src + std::ptrdiff_t{8} * full) | fold, len % 8);
  key->words[full] = last;
  h = (h ^ last) * kMul;
  key->nwords = full + 1;
  key->hash = h ^ (h >> 29);
}

namespace {

// The index's view of a key's hash: its tag, then the 16 bits that place it.
std::uint32_t index_hash(const KeyText& key) {
  return static_cast<std::uint32_t>(((key.hash >> 48) << 16) | (key.hash & 0xFFFF));
}

// The slot that holds `key`, or -1 with `*pos` at the free entry where it
// would go.
int probe(const TokenTable& t, const KeyText& key, std::uint32_t h, std::uint32_t* pos) {
  const std::uint32_t mask = *t.mask;
  for (std::uint32_t at = h & mask;; at = (at + 1) & mask) {
    const std::uint32_t e = t.index[at];
    if (e == 0) {
      *pos = at;
      return -1;
    }
    if ((e >> 16) == (h >> 16)) {
      const std::uint32_t slot = (e & 0xFFFFu) - 1;
      TALLY_CHECK(slot < static_cast<std::uint32_t>(*t.fill));
      if (same_key(t.keys[slot], key)) return static_cast<int>(slot);
    }
  }
}

}  // namespace

void prefetch_lookup(const TokenTable& t, std::uint64_t hash, bool slot) {
  const std::uint32_t* const entry = &t.index[hash & *t.mask & 0xFFFF];
  if (!slot) {
    __builtin_prefetch(entry);
    return;
  }
  const std::uint32_t e = *entry;
  if (e == 0) return;
  const std::uint32_t at = (e & 0xFFFFu) - 1;
  __builtin_prefetch(t.keys[at]);
  __builtin_prefetch(&t.counts[at], 1);
}

int find_key(const TokenTable& t, const KeyText& key) {
  std::uint32_t pos = 0;
  return probe(t, key, index_hash(key), &pos);
}

// performance critical: as make_key.
int find_or_add(const TokenTable& t, const KeyText& key, std::uint64_t add) {
  const std::uint32_t h = index_hash(key);
  std::uint32_t pos = 0;
  const int found = probe(t, key, h, &pos);
  if (found >= 0) {
    t.counts[found] += add;
    return found;
  }
  const int slot = *t.fill;
  TALLY_CHECK(slot >= 0 && slot <= kMaxKeys);
  if (slot == kMaxKeys) return -1;
  // A table that outgrows its first huge page is likely to fill more: its
  // slots get huge pages, if the input did not earn them already. Those
  // already touched keep their small pages.
  if (slot == kHugeSlots) prefer_huge_keys(t);
  // Slots are taken in order. Past the first few pages, the pages of the
  // next slots are made ready together, in one call instead of a fault each.
  if (slot % kReadySlots == 0 && slot != 0) {
    const int n = kMaxKeys - slot < kReadySlots ? kMaxKeys - slot : kReadySlots;
    populate_pages(t.keys[slot], static_cast<std::size_t>(n) * kSlotSize);
  }
  // And so are the pages of their counts and hashes, more slots at a time.
  if (slot % kReadyCountSlots == 0 && slot != 0) {
    const int n = kMaxKeys - slot < kReadyCountSlots ? kMaxKeys - slot : kReadyCountSlots;
    populate_pages(t.counts + slot, static_cast<std::size_t>(n) * sizeof *t.counts);
    populate_pages(t.hashes + slot, static_cast<std::size_t>(n) * sizeof *t.hashes);
  }
  // The slot is still all zero, so copying the key's words leaves the NUL
  // and the zero tail that same_key relies on.
  std::memcpy(t.keys[slot], key.words, 8 * static_cast<std::size_t>(key.nwords));
  t.counts[slot] = add;
  t.hashes[slot] = h;
  t.index[pos] = (h & 0xFFFF0000u) | static_cast<std::uint32_t>(slot + 1);
  *t.fill = slot + 1;
  // Half full at most, so that probe chains stay short.
  const std::uint32_t mask = *t.mask;
  if (2 * static_cast<std::uint32_t>(slot + 1) > mask && mask + 1 < kIndexSize) grow_index(t);
  return slot;
}

Outcome count_token(const unsigned char* p, std::ptrdiff_t len, bool identifier) {
  if (len >= kTooLongLen) return identifier ? Outcome::kWordTooLong : Outcome::kNumberTooLong;
  Key key;
  make_key(p, static_cast<int>(len), identifier, &key);
  if (find_or_add(identifier ? kIdentifiers : kNumbers, key, 1) >= 0) return Outcome::kDone;
  return identifier ? Outcome::kWordsFull : Outcome::kNumbersFull;
}

Outcome count_token_and_bytes(const unsigned char* p, std::ptrdiff_t len, bool identifier) {
  const Outcome o = count_token(p, len, identifier);
  if (o == Outcome::kDone) {
    for (std::ptrdiff_t i = 0; i < len; ++i) ++letterCount[p[i]];
  }
  return o;
}

void reset_tables() {
  static bool used = false;
  if (!used) {
    used = true;
    // Every lookup reads the fill levels and the first index entries before
    // a new key writes them. Written first, their pages fault once, not
    // twice, and never while another thread runs, when the second fault
    // would flush its CPU's TLB.
    w_num = 0;
    n_num = 0;
    populate_pages(wordIndex, (std::size_t{kMinMask} + 1) * sizeof *wordIndex);
    populate_pages(numIndex, (std::size_t{kMinMask} + 1) * sizeof *numIndex);
    return;
  }
  linec = wordc = cc = 0;
  std::memset(letterCount, 0, sizeof letterCount);
  std::memset(letterCountFlag, 0, sizeof letterCountFlag);
  clear_table(kIdentifiers);
  clear_table(kNumbers);
}

}  // namespace tally
