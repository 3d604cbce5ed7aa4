// The tallies shared by the counting pass and the report: three totals, the
// character table and the identifier and number tables, all in static storage.
#ifndef TALLY_TABLES_H_
#define TALLY_TABLES_H_

#include <cstddef>
#include <cstdint>

// Checks at the tables' boundaries, compiled in by the debug and sanitizer
// builds (TALLY_CHECKS); a failed check aborts with its location.
#if defined(TALLY_CHECKS)
#define TALLY_CHECK(cond) ((cond) ? (void)0 : ::tally::check_failed(#cond, __FILE__, __LINE__))
#else
#define TALLY_CHECK(cond) ((void)0)
#endif

namespace tally {

// How a counting pass ended. Anything but kDone stops the run with a message
// and exit status 1, before any report is written.
enum class Outcome {
  kDone,           // end of input
  kWordTooLong,    // an identifier reached kTooLongLen characters
  kNumberTooLong,  // a number reached kTooLongLen digits
  kWordsFull,      // a new identifier arrived at a full table
  kNumbersFull,    // a new number arrived at a full table
  kReadError,      // the input could not be read
  kOutOfRoom,      // a worker's room is full: the rest of its stretch is counted
                   // in order later (never the end of a run)
  kPaused,         // a worker was asked to stop: the rest of its stretch is
                   // counted in a later round (never the end of a run)
};

[[noreturn]] void check_failed(const char* what, const char* file, int line);

// Distinct keys one token table can hold. A new distinct key arriving at a
// full table stops the run (Outcome::kWordsFull / kNumbersFull); occurrences
// of keys already held are still counted.
constexpr int kMaxKeys = 30000;
// One key slot: the token, a NUL, and zero bytes up to the end of the slot.
constexpr int kSlotSize = 256;
// Longest accepted token. A token that reaches kMaxTokenLen + 1 characters
// stops the run.
constexpr int kMaxTokenLen = 254;
constexpr int kTooLongLen = kMaxTokenLen + 1;
// Byte codes: every byte value has its own slot in the character table.
constexpr int kCodes = 256;
// Entries in each token table's hash index: a power of two, at least twice
// kMaxKeys, so that probe chains stay short even in a full table. The index
// starts at 2^kIndexMinBits entries and doubles whenever it is half full,
// so that a small input touches little of it.
constexpr int kIndexMinBits = 10;
constexpr int kIndexSize = 65536;
// How many entries each report section lists at most.
constexpr int kTopN = 5;

static_assert((kIndexSize & (kIndexSize - 1)) == 0, "index size is a power of two");
static_assert(kIndexSize >= 2 * kMaxKeys, "index keeps the load factor under one half");
static_assert(kMaxKeys < 65536, "slot numbers fit the index entry's low 16 bits");

// How a counting pass, or a part of one, ended.
struct PassResult {
  Outcome outcome;
  int error;  // errno value, for kReadError
  // For the too-long outcomes: the token's first kTooLongLen characters
  // (identifiers in lower case), not NUL-terminated.
  char token[kTooLongLen];
};

// Totals: newline bytes, tokens (identifiers and numbers), bytes.
extern std::uint64_t linec;
extern std::uint64_t wordc;
extern std::uint64_t cc;

// Character table: occurrences of each byte code, as read (case kept).
extern std::uint64_t letterCount[kCodes];
extern std::int32_t letterCountFlag[kCodes];  // already-ranked marks (report)

// Identifier table: lower-case keys in order of first appearance.
extern char myContainer[kMaxKeys][kSlotSize];
extern std::uint64_t wordCount[kMaxKeys];
extern std::int32_t wordCountFlag[kMaxKeys];
extern std::int32_t w_num;

// Number table: digit-string keys (leading zeros kept), first appearance order.
extern char myNumber[kMaxKeys][kSlotSize];
extern std::uint64_t numCount[kMaxKeys];
extern std::int32_t numCountFlag[kMaxKeys];
extern std::int32_t n_num;

// One token table: the parallel arrays above plus the hash index over them.
// Index entries hold (hash tag << 16) | (slot + 1); zero is an empty entry.
struct TokenTable {
  char (*keys)[kSlotSize];
  std::uint64_t* counts;
  std::int32_t* flags;
  std::int32_t* fill;
  std::uint32_t* index;
  std::uint32_t* mask;    // the index entries in use, less one
  std::uint32_t* hashes;  // each slot's hash: its tag, then the 16 bits that place it
  bool* huge_keys;        // whether huge pages were asked for its key slots
};

extern const TokenTable kIdentifiers;
extern const TokenTable kNumbers;

// A token made ready for lookup: its bytes (identifiers already lower case),
// zero-padded to whole 8-byte words, with at least one zero byte after it.
struct Key {
  std::uint64_t words[kSlotSize / 8];
  int nwords;  // words covering the token and its NUL
  std::uint64_t hash;
};

// A key's words where they already are, laid out as Key::words, so that
// it can be looked up without a copy.
struct KeyText {
  const std::uint64_t* words;
  int nwords;
  std::uint64_t hash;
};

// Fills `key` from `len` input bytes at `src`, lower-casing when `fold_case`.
// REQUIRES: 1 <= len <= kMaxTokenLen, and the 8-byte words that cover
// src[0, len] are readable (the input buffer is padded for this).
void make_key(const unsigned char* src, int len, bool fold_case, Key* key);

// Asks for huge pages for all of `table`'s key slots, for an input that
// promises to fill megabytes of them; find_or_add asks itself as the table
// grows past its first huge page. Asked once: the advice changes the
// process's memory map, which holds up other threads' page faults while it
// is taken.
void prefer_huge_keys(const TokenTable& table);

// Adds `add` occurrences of `key` to `table`, appending the key to the next
// free slot when it is new (find-or-add). Returns the key's slot, or -1,
// changing nothing, when the key is new and the table already holds kMaxKeys.
int find_or_add(const TokenTable& table, const KeyText& key, std::uint64_t add);
inline int find_or_add(const TokenTable& table, const Key& key, std::uint64_t add) {
  return find_or_add(table, KeyText{key.words, key.nwords, key.hash}, add);
}

// Asks the memory a lookup of a key with hash `hash` (Key::hash) will read
// to come into the cache: with `slot`, the key and count of the slot that
// the first index entry names, which had better be asked for first.
void prefetch_lookup(const TokenTable& table, std::uint64_t hash, bool slot);

// The slot that holds `key` in `table`, or -1. Only reads the table, so that
// several threads may look up at once while no one adds.
int find_key(const TokenTable& table, const KeyText& key);
inline int find_key(const TokenTable& table, const Key& key) {
  return find_key(table, KeyText{key.words, key.nwords, key.hash});
}

// count-token and find-or-add for one finished token of `len` bytes at `p`,
// an identifier (lower-cased here) or a number: one more occurrence in its
// token table, or the reason the run stops there (too long, table full).
// The token's bytes are not added to the character table.
// REQUIRES: len >= 1; the 8-byte words covering p[0, min(len, kMaxTokenLen)]
// are readable.
Outcome count_token(const unsigned char* p, std::ptrdiff_t len, bool identifier);

// count_token, and on success each of the token's bytes in the character
// table.
Outcome count_token_and_bytes(const unsigned char* p, std::ptrdiff_t len, bool identifier);

// Returns every tally to its start-up state (all zero). Costs only what the
// last run used, so that a fuzzer can run many inputs in one process, and
// before the first run, when everything is zero already, only the pages
// that every run writes.
void reset_tables();

}  // namespace tally

#endif  // TALLY_TABLES_H_
