// The tallies shared by the counting pass and the report: three totals, the
// character table, and the key tables that hold identifiers, numbers and the
// spellings they were read in, all in static storage.
#ifndef TALLY_TABLES_H_
#define TALLY_TABLES_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

// Checks at the tables' boundaries, compiled in by the debug and sanitizer
// builds (TALLY_CHECKS); a failed check aborts with its location.
#if defined(TALLY_CHECKS)
#define TALLY_CHECK(cond) ((cond) ? (void)0 : ::tally::check_failed(#cond, __FILE__, __LINE__))
#else
#define TALLY_CHECK(cond) ((void)0)
#endif

namespace tally {

[[noreturn]] void check_failed(const char* what, const char* file, int line);

// Distinct identifiers, and distinct numbers, that a run can hold. A new one
// arriving at a full table stops the run; keys already held still count.
constexpr int kMaxKeys = 30000;
// Longest accepted token. A token that reaches kTooLongLen characters stops
// the run, whatever follows it.
constexpr int kMaxTokenLen = 254;
constexpr int kTooLongLen = kMaxTokenLen + 1;
// Every byte value has its own slot in the character table.
constexpr int kCodes = 256;
// Byte codes the counting treats apart.
constexpr int kNewline = '\n';
constexpr int kTab = '\t';
constexpr int kSpace = ' ';
// How many entries each report section lists at most.
constexpr int kTopN = 5;

// Token bytes: letters (either case) and digits.
inline bool is_letter(unsigned c) {
  return (c | 0x20) - 'a' < 26;
}
inline bool is_digit(unsigned c) {
  return c - '0' < 10;
}

// Entries a key table can have (entry 0 is never used: an index entry of 0
// is empty), and the most slots of its index, a power of two at least twice
// that, so that probes stay short in a full table. The index starts at
// 2^kIndexMinBits slots, so that a small input touches little of it, and
// doubles once it is a third full: short probes pay more than a smaller
// index saves (doubling at half full made a word list 17% slower).
constexpr int kEntries = 65535;
constexpr int kIndexMaxBits = 17;
constexpr int kIndexMinBits = 10;
constexpr int kIndexSize = 1 << kIndexMaxBits;
// Key text an identifier or number table holds when full of the longest
// keys. Every table's text has 8 bytes more, which a whole-word read may go
// past its last key.
constexpr std::uint32_t kKeyText = std::uint32_t{kMaxKeys} * kMaxTokenLen;
constexpr std::uint32_t kTextSlack = 8;

// A key as it is looked up: its bytes (at least 8 readable from `p`), its
// length, its words and its hash. A key of up to 8 bytes is its own head,
// zero-padded (no key byte is zero), and the hash is head * kHashMul. A key
// of 9 to 16 bytes is its first word with the top bit set (no key byte has
// it) and its second word, zero-padded, as tail, hashed together. For
// longer ones the head is a hash of all the text with its low byte zero,
// so that it never equals a shorter key's. Only keys of 9 to 16 bytes have
// a tail. Only a key of more than 16 bytes is compared, or stored, by its
// bytes; a shorter one by its words, so that its `p` may point at a
// spelling of it in another case.
struct Key {
  const unsigned char* p;
  std::uint32_t len;
  std::uint64_t head;
  std::uint64_t tail;
  std::uint64_t hash;  // its top bits pick the index slot where probing starts
};
constexpr std::uint32_t kWordKey = 8;
constexpr std::uint32_t kTwoWordKey = 16;
constexpr std::uint64_t kTwoWordBit = std::uint64_t{1} << 63;

// The key of `len` bytes at `p`. REQUIRES: 1 <= len <= kMaxTokenLen; the
// 8-byte words covering p[0, len) are readable; no byte of it is zero.
inline Key make_key(const unsigned char* p, std::uint32_t len);

// One key table: keys in order of first appearance, each entry's fields in
// dense arrays of their own, so that the probe reads only the index and the
// heads, and a hit writes only its count; the key text packed one key after
// another. Entries are numbered from 1 to `n`.
//
// A full table (`n` == cap, or text that would pass text_cap) takes no new
// key; what then happens is the caller's choice.
struct alignas(4096) KeyTable {
  std::int32_t n;
  std::int32_t cap;
  int shift;  // 64 less the index's bits
  std::uint32_t text_used;
  std::uint32_t text_cap;
  unsigned char* text;  // text_cap + kTextSlack bytes, each table's own
  // The index's first 2^kIndexMinBits slots share the page of the fields
  // above, which every run writes.
  alignas(64) std::uint16_t index[kIndexSize];
  std::uint64_t head[kEntries + 1];
  std::uint64_t count[kEntries + 1];
  std::uint64_t tail[kEntries + 1];
  // The fields that only adding, long keys and the end read, together: one
  // page, not three, for a small input's first entries.
  struct About {
    std::uint32_t at;    // where the entry's text starts
    std::uint16_t link;  // for a spelling, its key's entry in myContainer
                         // or myNumber (0: none)
    std::uint8_t len;
  } about[kEntries + 1];
};

// The entry that holds `key`, or 0.
inline int find(const KeyTable& t, const Key& key);

// find, for the counting pass's probes past a token's first slot: a key
// found there takes that slot from the key in it if it has been counted
// more, so that the keys counted most are found at the first look.
int find_counted(KeyTable* t, const Key& key);

// The index slot that holds `key`'s entry, or the empty one where probing
// for it ends.
inline std::uint32_t find_slot(const KeyTable& t, const Key& key);

// Appends `key` as a new entry with `count`, unless the table is full;
// returns the entry, or 0. REQUIRES: find(t, key) == 0.
int add(KeyTable* t, const Key& key, std::uint64_t count);

// Makes ready, in one call per array where the system can, the pages that
// `t` will use for its first `entries` entries: for an input that promises
// that many keys, whose pages would otherwise be faulted in one by one.
void ready_pages(KeyTable* t, int entries);

// Empties `t` and gives it room for `cap` entries and `text_cap` bytes of
// key text at `text`; costs only what it used.
// REQUIRES: `text` has text_cap + kTextSlack bytes.
void reset_table(KeyTable* t, int cap, unsigned char* text, std::uint32_t text_cap);

// Totals: newline bytes, tokens (identifiers and numbers), bytes.
extern std::uint64_t linec;
extern std::uint64_t wordc;
extern std::uint64_t cc;

// Character table: occurrences of each byte code, as read (case kept).
extern std::uint64_t letterCount[kCodes];
extern std::int32_t letterCountFlag[kCodes];  // already-ranked marks (report)

// The identifiers, in lower case, and the numbers, leading zeros kept, each
// with its count; at most kMaxKeys of each.
extern KeyTable myContainer;
extern KeyTable myNumber;
extern std::int32_t wordCountFlag[kEntries + 1];
extern std::int32_t numCountFlag[kEntries + 1];

// Every spelling read, identifiers with their case, numbers as they are,
// each linked to its key above; counted by the run's first stretch. Once
// it is full, new spellings are counted in the tables above directly.
extern KeyTable spellings;
constexpr std::uint32_t kSpellingText = std::uint32_t{1} << 20;

// Returns every tally to its start-up state (all zero, empty tables).
void reset_tables();

// ---------------------------------------------------------------------------

inline std::uint64_t load_word(const unsigned char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Adds `n` to the count of each byte of p[0, len). Eight at a time, those
// past `len` adding nothing: a loop by the length would be mispredicted
// about once a key, which for keys that come once is most of its cost.
// REQUIRES: the 8-byte words covering p[0, len) are readable.
inline void add_key_bytes(std::uint64_t* counts, const unsigned char* p, std::uint32_t len,
                          std::uint64_t n) {
  for (std::uint32_t i = 0; i < len; i += 8) {
    for (std::uint32_t j = 0; j < 8; ++j) counts[p[i + j]] += i + j < len ? n : 0;
  }
}

// Whether a[0, len) and b[0, len) are the same, for len >= 8: whole words,
// the last one ending at `len`.
inline bool same_text(const unsigned char* a, const unsigned char* b, std::uint32_t len) {
  std::uint32_t i = 0;
  for (; i + 8 < len; i += 8) {
    if (load_word(a + i) != load_word(b + i)) return false;
  }
  return load_word(a + len - 8) == load_word(b + len - 8);
}

inline std::uint32_t find_slot(const KeyTable& t, const Key& key) {
  const std::uint32_t mask = (std::uint32_t{1} << (64 - t.shift)) - 1;
  for (auto slot = static_cast<std::uint32_t>(key.hash >> t.shift);; slot = (slot + 1) & mask) {
    const int e = t.index[slot];
    if (e == 0 ||
        (t.head[e] == key.head &&
         (key.len <= kWordKey ||
          (key.len <= kTwoWordKey ? t.tail[e] == key.tail
                                  : t.about[e].len == key.len &&
                                        same_text(t.text + t.about[e].at, key.p, key.len))))) {
      return slot;
    }
  }
}

inline int find(const KeyTable& t, const Key& key) {
  return t.index[find_slot(t, key)];
}

constexpr std::uint64_t kHashMul = 0x9E3779B97F4A7C15ULL;

// The bytes of a word that a key of 0 to 8 bytes keeps: one load and an
// and, where two shifts by the length tie up the shift-count register.
struct ShortMasks {
  std::uint64_t m[9];
};
constexpr ShortMasks make_short_masks() {
  ShortMasks t{};
  for (int len = 0; len < 8; ++len) t.m[len] = (std::uint64_t{1} << 8 * len) - 1;
  t.m[8] = ~std::uint64_t{0};
  return t;
}
inline constexpr ShortMasks kShortMasks = make_short_masks();

// The head of a key of up to 8 bytes: the key itself.
inline std::uint64_t short_head(const unsigned char* p, std::uint32_t len) {
  return load_word(p) & kShortMasks.m[len];
}

// The head and hash of a longer key: whole words, the last one ending with
// the key, its low byte cleared.
inline std::uint64_t long_head(const unsigned char* p, std::uint32_t len) {
  std::uint64_t h = len;
  for (std::uint32_t i = 0; i + 8 < len; i += 8) h = (h ^ load_word(p + i)) * kHashMul;
  h = (h ^ load_word(p + len - 8)) * kHashMul;
  h ^= h >> 29;
  return (h & ~std::uint64_t{0xFF}) | 0x100;
}

// The hash of a key of 9 to 16 bytes.
inline std::uint64_t two_word_hash(std::uint64_t head, std::uint64_t tail) {
  return (head + tail) * kHashMul;
}

// The key that entry `e` of `t` holds, from its words.
inline Key entry_key(const KeyTable& t, int e) {
  const std::uint32_t len = t.about[e].len;
  const std::uint64_t head = t.head[e];
  const unsigned char* p = t.text + t.about[e].at;
  if (len <= kWordKey) return Key{p, len, head, 0, head * kHashMul};
  if (len <= kTwoWordKey) return Key{p, len, head, t.tail[e], two_word_hash(head, t.tail[e])};
  return Key{p, len, head, 0, head};
}

inline Key make_key(const unsigned char* p, std::uint32_t len) {
  if (len <= kWordKey) {
    const std::uint64_t w = short_head(p, len);
    return Key{p, len, w, 0, w * kHashMul};
  }
  if (len <= kTwoWordKey) {
    const std::uint64_t head = load_word(p) | kTwoWordBit;
    const std::uint64_t tail = short_head(p + 8, len - 8);
    return Key{p, len, head, tail, two_word_hash(head, tail)};
  }
  const std::uint64_t h = long_head(p, len);
  return Key{p, len, h, 0, h};
}

}  // namespace tally

#endif  // TALLY_TABLES_H_
