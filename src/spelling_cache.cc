// The spelling cache's bookkeeping: adding, growing, spilling and flushing.
// The lookups themselves are in the SIMD scanners.
#include "spelling_cache.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace tally {
namespace {

// Makes the pages of short entries [from, to) ready in one call: every
// lookup reads its entry before a new spelling writes it, so a page left to
// fault would fault twice.
void ready_shorts(const SpellingCache* c, std::size_t from, std::size_t to) {
  populate_pages(c->shorts.entries + from, (to - from) * sizeof(ShortSpelling));
}

// Where an entry's key reference is kept.
std::int32_t& ref_of(SpellingTable<ShortSpelling>* t, std::size_t at) {
  return t->entries[at].ref;
}
std::int32_t& ref_of(SpellingTable<LongSpelling>* t, std::size_t at) {
  return t->refs[at];
}

// Room for rearranging the short entries as a table grows. Caches seldom
// grow at once: one room serves them all, taken in turn.
struct Scratch {
  std::uint16_t order[kShortSpellingSlots];   // entry numbers, hottest first
  std::uint16_t number[kShortSpellingSlots];  // the entry number at each entry
};
Scratch g_scratch;
pthread_mutex_t g_scratch_lock = PTHREAD_MUTEX_INITIALIZER;

// A smaller short table grows when half full; the largest one takes more.
void size_shorts(SpellingCache* c, int bits) {
  c->shift = 64 - bits;
  c->mask = (std::size_t{1} << bits) - 1;
  c->grow_at = bits == c->max_bits ? c->shorts.limit : std::size_t{1} << (bits - 1);
}

// The same home as the SIMD lookups compute, from a stored entry, whose
// text is the words w0..w2; the lookups' w3 is zero for a short spelling.
std::size_t home_of(const ShortSpelling& s, int shift) {
  std::uint64_t w[3];
  static_assert(sizeof w == sizeof s.text, "the text is three words");
  std::memcpy(w, s.text, sizeof w);
  return spelling_mix(w[0], w[1] ^ w[2], shift);
}

#if defined(TALLY_CHECKS)
// Checks that short entry `at` is found from its home without meeting a
// free entry.
void check_reachable(const SpellingCache& c, std::size_t at) {
  for (std::size_t from = home_of(c.shorts.entries[at], c.shift); from != at;
       from = (from + 1) & c.mask) {
    TALLY_CHECK(c.shorts.entries[from].count != 0);
  }
}
#endif

// Moves every short entry into a table of 2^bits entries, the most frequent
// first: a lookup that meets other entries before its own costs a branch
// mispredicted, so the common spellings had better sit at their homes.
// Runs when the table doubles, and once more when the largest one is full.
//
// The entries are rearranged in place. They are numbered hottest first and
// placed in that order, each at the first entry from its home that is free
// or holds one not yet placed, which then trades places with it. The result
// is the table that adding them in that order would have built.
void rehash_shorts(SpellingCache* c, int bits) {
  constexpr std::uint16_t kFree = 0xFFFF;
  static_assert(kShortSpellingSlots * 5 / 8 < kFree, "entry numbers fit 16 bits");
  pthread_mutex_lock(&g_scratch_lock);
  std::uint16_t* const order = g_scratch.order;
  std::uint16_t* const number = g_scratch.number;
  auto& t = c->shorts;
  const std::size_t n = t.fill;
  // Entries are ranked by the bit length of their count, by counting sort.
  std::size_t first_of_rank[33] = {};
  const auto rank = [](std::uint32_t count) { return __builtin_clz(count); };  // count >= 1
  for (std::size_t i = 0; i < n; ++i) ++first_of_rank[rank(t.entries[t.used[i]].count) + 1];
  for (int r = 1; r < 33; ++r) first_of_rank[r] += first_of_rank[r - 1];
  for (std::size_t i = 0; i < n; ++i) {
    order[first_of_rank[rank(t.entries[t.used[i]].count)]++] = static_cast<std::uint16_t>(i);
  }
  // From here t.used[k] is where entry k is.
  size_shorts(c, bits);
  std::fill(number, number + c->mask + 1, kFree);
  for (std::size_t k = 0; k < n; ++k) number[t.used[order[k]]] = static_cast<std::uint16_t>(k);
  for (std::size_t at = 0; at <= c->mask; ++at) {
    if (number[at] != kFree) t.used[number[at]] = static_cast<std::uint16_t>(at);
  }
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t from = t.used[k];
    std::size_t at = home_of(t.entries[from], c->shift);
    while (number[at] != kFree && number[at] < k) at = (at + 1) & c->mask;
    if (at == from) continue;
    const std::uint16_t other = number[at];
    std::swap(t.entries[at], t.entries[from]);
    number[from] = other;
    if (other != kFree) t.used[other] = static_cast<std::uint16_t>(from);
    number[at] = static_cast<std::uint16_t>(k);
    t.used[k] = static_cast<std::uint16_t>(at);
  }
  pthread_mutex_unlock(&g_scratch_lock);
#if defined(TALLY_CHECKS)
  // Every entry is found from its home without meeting a free one.
  for (std::size_t k = 0; k < n; ++k) check_reachable(*c, t.used[k]);
#endif
}

template <typename Entry>
void add_to_sink(const SpellingCache& c, const Entry& e, std::int32_t ref, std::uint64_t n) {
  sink_add(c.sink, ref, e.text, sizeof e.text, n);
}

// Adds a spelling met for the first time at its free entry `at`, or counts
// it directly when the table is full.
template <typename Entry>
Outcome add_entry(SpellingCache* c, SpellingTable<Entry>* t, const unsigned char* p, int len,
                  std::size_t at) {
  if (t->fill == t->limit) return sink_count(c->sink, p, len);
  std::int32_t ref;
  const Outcome o = sink_ref(c->sink, p, len, &ref);
  if (o != Outcome::kDone) return o;
  auto& e = t->entries[at];
  std::memcpy(e.text, p, static_cast<std::size_t>(len));
  e.count = 1;
  ref_of(t, at) = ref;
  t->used[t->fill++] = static_cast<std::uint16_t>(at);
  return Outcome::kDone;
}

// Entries are visited in the order they were added, which is no order in
// memory: each is asked for this many visits ahead.
constexpr std::size_t kVisitAhead = 16;

template <typename Entry>
void flush_table(const SpellingCache& c, SpellingTable<Entry>* t) {
  for (std::size_t i = 0; i < t->fill; ++i) {
    if (i + kVisitAhead < t->fill) __builtin_prefetch(&t->entries[t->used[i + kVisitAhead]], 1);
    auto& e = t->entries[t->used[i]];
    add_to_sink(c, e, ref_of(t, t->used[i]), e.count);
    e = {};
  }
  t->fill = 0;
}

template <typename Entry>
void clear_table(SpellingTable<Entry>* t) {
  for (std::size_t i = 0; i < t->fill; ++i) t->entries[t->used[i]] = {};
  t->fill = 0;
}

template <typename Entry>
void rebase_table(SpellingTable<Entry>* t, const Room& room) {
  for (std::size_t i = 0; i < t->fill; ++i) {
    if (i + kVisitAhead < t->fill) __builtin_prefetch(&ref_of(t, t->used[i + kVisitAhead]), 1);
    std::int32_t& ref = ref_of(t, t->used[i]);
    if (ref < 0) ref = room.keys[~ref].slot;
  }
}

template <typename Entry>
SpellingTable<Entry> part_of(Entry* entries, std::int32_t* refs, std::uint16_t* used,
                             std::size_t slots, std::size_t i) {
  return {entries + i * slots, refs == nullptr ? nullptr : refs + i * slots, used + i * slots, 0,
          slots * 5 / 8};
}

int max_short_bits(int parts) {
  return kShortSpellingMaxBits - __builtin_ctz(static_cast<unsigned>(parts));
}

// The size a short table starts at, in bits. Real texts hold a new spelling
// every 20 bytes in their first 100 KB, and every 100 to 2000 bytes in the
// megabytes after; growing costs more than a table half used.
int first_short_bits(int parts, std::uint64_t expected_bytes) {
  int bits = kShortSpellingMinBits;
  while (bits < max_short_bits(parts) && (expected_bytes >> 5) > (std::uint64_t{1} << bits)) {
    ++bits;
  }
  return bits;
}

}  // namespace

void prefer_huge_spellings(SpellingStore* store, int part, int parts,
                           std::uint64_t expected_bytes) {
  TALLY_CHECK(parts > 0 && parts <= 16 && (parts & (parts - 1)) == 0 && part < parts);
  // A table that starts at a megabyte or more is worth huge pages, each
  // cleared whole as it is first touched; a smaller one is not.
  const std::size_t bytes = sizeof(ShortSpelling) << first_short_bits(parts, expected_bytes);
  if (bytes < kHugePage / 2) return;
  const std::size_t short_slots = kShortSpellingSlots / static_cast<std::size_t>(parts);
  prefer_huge_pages(store->shorts + static_cast<std::size_t>(part) * short_slots,
                    short_slots * sizeof(ShortSpelling));
}

void attach_spellings(SpellingCache* cache, SpellingStore* store, int part, int parts,
                      std::uint64_t expected_bytes, std::uint32_t spill_at, Sink sink) {
  TALLY_CHECK(parts > 0 && parts <= 16 && (parts & (parts - 1)) == 0 && part < parts);
  const auto n = static_cast<std::size_t>(parts);
  const auto i = static_cast<std::size_t>(part);
  const std::size_t short_slots = kShortSpellingSlots / n;
  const std::size_t long_slots = kLongSpellingSlots / n;
  cache->shorts = part_of(store->shorts, nullptr, store->short_used, short_slots, i);
  cache->longs = part_of(store->longs, store->long_refs, store->long_used, long_slots, i);
  cache->max_bits = max_short_bits(parts);
  cache->long_shift = 64 - (kLongSpellingBits - __builtin_ctz(static_cast<unsigned>(parts)));
  cache->long_mask = long_slots - 1;
  cache->spill_at = spill_at;
  cache->longs_ready = false;
  cache->sink = sink;
  size_shorts(cache, first_short_bits(parts, expected_bytes));
  ready_shorts(cache, 0, cache->mask + 1);
}

Outcome add_short_spelling(SpellingCache* cache, const unsigned char* p, int len, std::size_t at) {
  const std::size_t before = cache->shorts.fill;
  const Outcome o = add_entry(cache, &cache->shorts, p, len, at);
#if defined(TALLY_CHECKS)
  // The lookup that ended at `at` began where the growth places entries.
  if (cache->shorts.fill != before) check_reachable(*cache, at);
#endif
  // Rehashed once more when the largest table fills, and not after.
  if (cache->shorts.fill != before && cache->shorts.fill == cache->grow_at) {
    const int bits = 64 - cache->shift;
    if (bits != cache->max_bits) ready_shorts(cache, cache->mask + 1, 2 * (cache->mask + 1));
    rehash_shorts(cache, bits == cache->max_bits ? bits : bits + 1);
  }
  return o;
}

void ready_long_spellings(SpellingCache* cache) {
  populate_pages(cache->longs.entries, (cache->long_mask + 1) * sizeof(LongSpelling));
  cache->longs_ready = true;
}

Outcome add_long_spelling(SpellingCache* cache, const unsigned char* p, int len, std::size_t at) {
  return add_entry(cache, &cache->longs, p, len, at);
}

void spill_short_spelling(SpellingCache* cache, std::size_t at) {
  auto& e = cache->shorts.entries[at];
  add_to_sink(*cache, e, e.ref, e.count - 1);
  e.count = 1;
}

void spill_long_spelling(SpellingCache* cache, std::size_t at) {
  auto& e = cache->longs.entries[at];
  add_to_sink(*cache, e, cache->longs.refs[at], e.count - 1);
  e.count = 1;
}

void rebase_spellings(SpellingCache* cache, const Room& room) {
  rebase_table(&cache->shorts, room);
  rebase_table(&cache->longs, room);
}

void flush_spellings(SpellingCache* cache) {
  flush_table(*cache, &cache->shorts);
  flush_table(*cache, &cache->longs);
}

void clear_spellings(SpellingCache* cache) {
  clear_table(&cache->shorts);
  clear_table(&cache->longs);
}

}  // namespace tally
