// The tally tables: keys, their hashes, and find-or-add's adding half.
#include "tally_tables.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace tally {

std::uint64_t linec;
std::uint64_t wordc;
std::uint64_t cc;
std::uint64_t letterCount[kCodes];
std::int32_t letterCountFlag[kCodes];
KeyTable myContainer;
KeyTable myNumber;
std::int32_t wordCountFlag[kEntries + 1];
std::int32_t numCountFlag[kEntries + 1];
KeyTable spellings;

namespace {
unsigned char g_word_text[kKeyText + kTextSlack];
unsigned char g_number_text[kKeyText + kTextSlack];
unsigned char g_spelling_text[kSpellingText + kTextSlack];
}  // namespace

namespace {

static_assert(kIndexSize >= 2 * kEntries, "the index stays at most half full");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "keys are read as little-endian words");

void ready(void* p, std::size_t n) {
#if defined(MADV_POPULATE_WRITE)
  constexpr std::uintptr_t kPage = 4096;
  // From the start of p's page; the system rounds the length up.
  const std::uintptr_t off = reinterpret_cast<std::uintptr_t>(p) & (kPage - 1);
  madvise(static_cast<unsigned char*>(p) - off, n + off, MADV_POPULATE_WRITE);  // a hint: may fail
#else
  (void)p;
  (void)n;
#endif
}

void place(KeyTable* t, int e, std::uint64_t hash) {
  const std::uint32_t mask = (std::uint32_t{1} << (64 - t->shift)) - 1;
  auto slot = static_cast<std::uint32_t>(hash >> t->shift);
  while (t->index[slot] != 0) slot = (slot + 1) & mask;
  t->index[slot] = static_cast<std::uint16_t>(e);
}

// Doubles the index and places every entry again.
void grow(KeyTable* t) {
  --t->shift;
  std::memset(t->index, 0, sizeof t->index[0] << (64 - t->shift));
  for (int e = 1; e <= t->n; ++e) place(t, e, entry_key(*t, e).hash);
}

}  // namespace

void check_failed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "tally: internal check failed: %s (%s:%d)\n", what, file, line);
  std::abort();
}

int add(KeyTable* t, const Key& key, std::uint64_t count) {
  TALLY_CHECK(find(*t, key) == 0);
  if (t->n >= t->cap || key.len > t->text_cap - t->text_used) return 0;
  const int e = ++t->n;
  t->head[e] = key.head;
  // Only keys of two words read their tail: others leave its pages alone.
  if (key.len > kWordKey && key.len <= kTwoWordKey) t->tail[e] = key.tail;
  t->count[e] = count;
  t->about[e] = {t->text_used, 0, static_cast<std::uint8_t>(key.len)};
  // A key of up to two words is its words: they are stored whole, into the
  // text's slack at worst, since a folded key's bytes are not at key.p.
  unsigned char* text = t->text + t->text_used;
  if (key.len <= kWordKey) {
    std::memcpy(text, &key.head, sizeof key.head);
  } else if (key.len <= kTwoWordKey) {
    const std::uint64_t first = key.head & ~kTwoWordBit;
    std::memcpy(text, &first, sizeof first);
    std::memcpy(text + 8, &key.tail, sizeof key.tail);
  } else {
    std::memcpy(text, key.p, key.len);
  }
  t->text_used += key.len;
  const int bits = 64 - t->shift;
  if (bits < kIndexMaxBits && 3 * e > 1 << bits) {
    grow(t);
  } else {
    place(t, e, key.hash);
  }
  return e;
}

int find_counted(KeyTable* t, const Key& key) {
  const std::uint32_t slot = find_slot(*t, key);
  const int e = t->index[slot];
  // Linear probing reaches every key from its own first slot through full
  // slots only; this swap leaves each slot full, so it stays so.
  const auto first = static_cast<std::uint32_t>(key.hash >> t->shift);
  const int there = t->index[first];
  if (e != 0 && t->count[e] > t->count[there]) {
    t->index[first] = static_cast<std::uint16_t>(e);
    t->index[slot] = static_cast<std::uint16_t>(there);
  }
  return e;
}

void ready_pages(KeyTable* t, int entries) {
  if (entries > kEntries) entries = kEntries;
  const auto n = static_cast<std::size_t>(entries) + 1;
  // The index at most a third full: up to 8 slots an entry.
  ready(t->index, std::min(sizeof t->index, 16 * n));
  ready(t->head, n * sizeof t->head[0]);
  ready(t->count, n * sizeof t->count[0]);
  ready(t->tail, n * sizeof t->tail[0]);
  ready(t->about, n * sizeof t->about[0]);
}

void reset_table(KeyTable* t, int cap, unsigned char* text, std::uint32_t text_cap) {
  TALLY_CHECK(cap <= kEntries);
  // Writes first: a page first read is faulted in twice, as the zero page
  // and again when written. Entry 0's head is read by the first probe.
  t->text = text;
  t->head[0] = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (t->n != 0) std::memset(t->index, 0, sizeof t->index[0] << (64 - t->shift));
  t->shift = 64 - kIndexMinBits;
  t->n = 0;
  t->cap = cap;
  t->text_used = 0;
  t->text_cap = text_cap;
}

void reset_tables() {
  linec = wordc = cc = 0;
  std::memset(letterCount, 0, sizeof letterCount);
  reset_table(&myContainer, kMaxKeys, g_word_text, kKeyText);
  reset_table(&myNumber, kMaxKeys, g_number_text, kKeyText);
  reset_table(&spellings, kEntries, g_spelling_text, kSpellingText);
}

}  // namespace tally
