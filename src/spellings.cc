// The spelling table's bookkeeping: adding, rehashing, folding and spilling.
// The lookups themselves are in the SIMD scanners.
#include "spellings.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "scan_internal.h"
#include "tally_tables.h"

namespace tally {

alignas(64) Spelling g_spellings[kSpellingSlots];
alignas(64) LongSpelling g_long_spellings[kLongSpellingSlots];
std::uint32_t g_spelling_spill = 0xFFFFFFFFu;
int g_spelling_shift = 64 - kSpellingMinBits;
std::size_t g_spelling_mask = (std::size_t{1} << kSpellingMinBits) - 1;

namespace {

// Each entry's key slot in its token table; which table follows from the
// spelling's first byte.
std::int32_t g_spelling_slot[kSpellingSlots];
// Where the used entries are, so that folding and clearing cost what was
// used, not the whole table.
std::uint32_t g_spelling_used[kSpellingLimit];
std::size_t g_spelling_fill;
std::size_t g_spelling_limit;  // fill at which to rehash

// The same for the long spellings, whose table never changes size.
std::int32_t g_long_slot[kLongSpellingSlots];
std::uint32_t g_long_used[kLongSpellingLimit];
std::size_t g_long_fill;

bool is_number(const unsigned char* text) {
  return text[0] >= '0' && text[0] <= '9';
}

// A smaller table doubles when half full; the largest one takes more.
void size_spellings(int bits) {
  g_spelling_shift = 64 - bits;
  g_spelling_mask = (std::size_t{1} << bits) - 1;
  g_spelling_limit = bits == kSpellingMaxBits ? kSpellingLimit : std::size_t{1} << (bits - 1);
}

// The same home as the SIMD lookups compute, from a stored entry (whose
// last four bytes hold the count, not text). Little-endian, as the x86
// lookups that use the table are.
std::size_t home_of(const Spelling& s, int shift) {
  std::uint64_t w[4];
  std::memcpy(w, &s, sizeof w);
  w[3] &= 0xFFFFFFFFu;
  return spelling_mix(w[0] ^ w[3], w[1] ^ w[2], shift);
}

// Moves every entry into a table of 2^bits entries, the most frequent
// first: a lookup that meets other entries before its own costs a branch
// mispredicted, so the common spellings had better sit at their homes.
// Runs when the table doubles, and once more when the largest one is full.
//
// The entries are rearranged in place. They are numbered hottest first and
// placed in that order, each at the first entry from its home that is free
// or holds one not yet placed, which then trades places with it. The result
// is the table that adding them in that order would have built.
void rehash_spellings(int bits) {
  constexpr std::uint16_t kFree = 0xFFFF;
  static_assert(kSpellingLimit < kFree, "entry numbers fit 16 bits");
  static std::uint16_t order[kSpellingLimit];   // entry numbers by heat
  static std::uint16_t number[kSpellingSlots];  // the entry number at each entry
  const std::size_t n = g_spelling_fill;
  // Entries are ranked by the bit length of their count, by counting sort.
  std::size_t first_of_rank[33] = {};
  const auto rank = [](std::uint32_t count) { return __builtin_clz(count); };  // count >= 1
  for (std::size_t i = 0; i < n; ++i)
    ++first_of_rank[rank(g_spellings[g_spelling_used[i]].count) + 1];
  for (int r = 1; r < 33; ++r) first_of_rank[r] += first_of_rank[r - 1];
  for (std::size_t i = 0; i < n; ++i) {
    order[first_of_rank[rank(g_spellings[g_spelling_used[i]].count)]++] =
        static_cast<std::uint16_t>(i);
  }
  // From here g_spelling_used[k] is where entry k is.
  size_spellings(bits);
  std::fill(number, number + g_spelling_mask + 1, kFree);
  for (std::size_t k = 0; k < n; ++k)
    number[g_spelling_used[order[k]]] = static_cast<std::uint16_t>(k);
  for (std::size_t at = 0; at <= g_spelling_mask; ++at) {
    if (number[at] != kFree) g_spelling_used[number[at]] = static_cast<std::uint32_t>(at);
  }
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t from = g_spelling_used[k];
    std::size_t at = home_of(g_spellings[from], g_spelling_shift);
    while (number[at] != kFree && number[at] < k) at = (at + 1) & g_spelling_mask;
    if (at == from) continue;
    const std::uint16_t other = number[at];
    std::swap(g_spellings[at], g_spellings[from]);
    std::swap(g_spelling_slot[at], g_spelling_slot[from]);
    number[from] = other;
    if (other != kFree) g_spelling_used[other] = static_cast<std::uint32_t>(from);
    number[at] = static_cast<std::uint16_t>(k);
    g_spelling_used[k] = static_cast<std::uint32_t>(at);
  }
#if defined(TALLY_CHECKS)
  // Every entry is found from its home without meeting a free one.
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t at = home_of(g_spellings[g_spelling_used[k]], g_spelling_shift);
    while (at != g_spelling_used[k]) {
      TALLY_CHECK(g_spellings[at].count != 0);
      at = (at + 1) & g_spelling_mask;
    }
  }
#endif
}

template <typename Entry>
void add_to_tables(const Entry& s, std::int32_t slot, std::uint64_t n) {
  (is_number(s.text) ? numCount : wordCount)[slot] += n;
  for (std::size_t j = 0; j < sizeof s.text && s.text[j] != 0; ++j) letterCount[s.text[j]] += n;
}

// Finds or adds a new spelling's key in its token table, or says why the
// run stops. The spelling's own count carries this occurrence; the token
// table gets it at the fold.
Outcome key_slot(const unsigned char* p, int len, std::int32_t* slot) {
  const bool number = is_number(p);
  Key key;
  make_key(p, len, !number, &key);
  *slot = find_or_add(number ? kNumbers : kIdentifiers, key, 0);
  if (*slot >= 0) return Outcome::kDone;
  return number ? Outcome::kNumbersFull : Outcome::kWordsFull;
}

template <typename Entry>
void fold_table(Entry* entries, const std::int32_t* slots, const std::uint32_t* used,
                std::size_t* fill) {
  for (std::size_t i = 0; i < *fill; ++i) {
    Entry& e = entries[used[i]];
    add_to_tables(e, slots[used[i]], e.count);
    e = Entry{};
  }
  *fill = 0;
}

// Adds a spelling met for the first time at its free entry `at`, or counts
// it directly when the table holds `limit` entries already.
template <typename Entry>
Outcome add_entry(Entry* entries, std::int32_t* slots, std::uint32_t* used, std::size_t* fill,
                  std::size_t limit, const unsigned char* p, int len, std::size_t at) {
  if (*fill == limit) return count_token_and_bytes(p, len, !is_number(p));
  std::int32_t slot;
  const Outcome o = key_slot(p, len, &slot);
  if (o != Outcome::kDone) return o;
  Entry& e = entries[at];
  std::memcpy(e.text, p, static_cast<std::size_t>(len));
  e.count = 1;
  slots[at] = slot;
  used[(*fill)++] = static_cast<std::uint32_t>(at);
  return Outcome::kDone;
}

}  // namespace

Outcome add_spelling(const unsigned char* p, int len, std::size_t at) {
  const std::size_t before = g_spelling_fill;
  const Outcome o = add_entry(g_spellings, g_spelling_slot, g_spelling_used, &g_spelling_fill,
                              kSpellingLimit, p, len, at);
  // Rehashed once more when the largest table fills, and not after.
  if (g_spelling_fill != before && g_spelling_fill == g_spelling_limit) {
    const int bits = 64 - g_spelling_shift;
    rehash_spellings(bits == kSpellingMaxBits ? bits : bits + 1);
  }
  return o;
}

Outcome add_long_spelling(const unsigned char* p, int len, std::size_t at) {
  return add_entry(g_long_spellings, g_long_slot, g_long_used, &g_long_fill, kLongSpellingLimit, p,
                   len, at);
}

void fold_spellings() {
  fold_table(g_spellings, g_spelling_slot, g_spelling_used, &g_spelling_fill);
  fold_table(g_long_spellings, g_long_slot, g_long_used, &g_long_fill);
}

void spill_spelling(std::size_t at) {
  add_to_tables(g_spellings[at], g_spelling_slot[at], g_spellings[at].count - 1);
  g_spellings[at].count = 1;
}

void spill_long_spelling(std::size_t at) {
  add_to_tables(g_long_spellings[at], g_long_slot[at], g_long_spellings[at].count - 1);
  g_long_spellings[at].count = 1;
}

void discard_spellings() {
  for (std::size_t i = 0; i < g_spelling_fill; ++i) g_spellings[g_spelling_used[i]] = Spelling{};
  g_spelling_fill = 0;
  for (std::size_t i = 0; i < g_long_fill; ++i) g_long_spellings[g_long_used[i]] = LongSpelling{};
  g_long_fill = 0;
  size_spellings(kSpellingMinBits);
}

}  // namespace tally
