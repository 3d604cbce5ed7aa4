// The counting pass driver, the plain scalar scanner and the choice of path.
#include "scan.h"

#include <cstring>

#include "scan_internal.h"

namespace tally {
namespace {

// The input lands after kCarryRoom bytes, where the unfinished token of the
// last block is moved so that every token is whole in one place.
alignas(64) unsigned char g_buf[kCarryRoom + kBlockSize + kPadding];

enum ByteClass : unsigned char { kSeparator, kLetter, kDigit };

constexpr ByteClass classify(int c) {
  return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) ? kLetter
         : (c >= '0' && c <= '9')                           ? kDigit
                                                            : kSeparator;
}

struct ClassTable {
  ByteClass of[256];
  constexpr ClassTable() : of() {
    for (int c = 0; c < 256; ++c) of[c] = classify(c);
  }
};
constexpr ClassTable kClass;

// The scalar scanner's token in progress, kept from one block to the next.
struct ScalarToken {
  unsigned char text[kSlotSize];
  int len;
  ByteClass kind;  // kSeparator while no token is open
};
ScalarToken g_token;

// Where the used spelling entries are, so that folding and clearing them
// costs what was used, not the whole table.
std::uint32_t g_spelling_used[kSpellingLimit];
std::size_t g_spelling_fill;
std::size_t g_spelling_limit;  // fill at which to fold and grow

void size_spellings(int bits) {
  g_spelling_shift = 64 - bits;
  g_spelling_mask = (std::size_t{1} << bits) - 1;
  g_spelling_limit = (std::size_t{1} << bits) * 5 / 8;
}

// Drops the spellings of a run that stopped early, without counting them.
void discard_spellings() {
  for (std::size_t i = 0; i < g_spelling_fill; ++i) g_spellings[g_spelling_used[i]] = Spelling{};
  g_spelling_fill = 0;
  size_spellings(kSpellingMinBits);
}

std::uint64_t sum(const std::uint64_t* counts, int n) {
  std::uint64_t total = 0;
  for (int i = 0; i < n; ++i) total += counts[i];
  return total;
}

Outcome finish_scalar_token() {
  const Outcome o = count_token(g_token.text, g_token.len, g_token.kind == kLetter);
  g_token.kind = kSeparator;
  return o;
}

// The reference: one byte at a time, each byte recorded, then either added
// to the open token, or closing it and perhaps opening the next.
BlockResult scan_block_scalar(const unsigned char* /*from*/, const unsigned char* data,
                              const unsigned char* end, bool eof) {
  for (const unsigned char* p = data; p < end; ++p) {
    unsigned char c = *p;
    ++letterCount[c];
    const ByteClass cls = kClass.of[c];
    if (g_token.kind != kSeparator) {
      const bool extends = g_token.kind == kLetter ? cls != kSeparator : cls == kDigit;
      if (extends) {
        if (g_token.kind == kLetter && c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
        g_token.text[g_token.len++] = c;
        if (g_token.len == kTooLongLen) {
          return {g_token.kind == kLetter ? Outcome::kWordTooLong : Outcome::kNumberTooLong,
                  g_token.text};
        }
        continue;
      }
      const Outcome o = finish_scalar_token();
      if (o != Outcome::kDone) return {o, end};
    }
    if (cls != kSeparator) {
      if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
      g_token.kind = cls;
      g_token.text[0] = c;
      g_token.len = 1;
    }
  }
  if (eof && g_token.kind != kSeparator) return {finish_scalar_token(), end};
  return {Outcome::kDone, end};
}

BlockScanner scanner_for(ScanPath path) {
  switch (path) {
#if defined(TALLY_X86_PATHS)
    case ScanPath::kAvx2:
      return scan_block_avx2;
    case ScanPath::kAvx512:
      return scan_block_avx512;
#endif
    default:
      return scan_block_scalar;
  }
}

void stop_with_token(const BlockResult& r, ScanResult* result) {
  std::memcpy(result->token, r.mark, kTooLongLen);
  if (r.outcome == Outcome::kWordTooLong) {
    for (char& c : result->token) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
  }
}

}  // namespace

bool path_supported(ScanPath path) {
  switch (path) {
    case ScanPath::kScalar:
      return true;
#if defined(TALLY_X86_PATHS)
    case ScanPath::kAvx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
    case ScanPath::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi");
#endif
    default:
      return false;
  }
}

ScanPath best_path() {
  // Fastest first.
  static const ScanPath kByPreference[] = {ScanPath::kAvx512, ScanPath::kAvx2};
  for (const ScanPath p : kByPreference) {
    if (path_supported(p)) return p;
  }
  return ScanPath::kScalar;
}

bool parse_path(const char* name, ScanPath* path) {
  static const struct {
    const char* name;
    ScanPath path;
  } kNames[] = {
      {"scalar", ScanPath::kScalar}, {"avx2", ScanPath::kAvx2}, {"avx512", ScanPath::kAvx512}};
  for (const auto& n : kNames) {
    if (std::strcmp(name, n.name) == 0) {
      *path = n.path;
      return true;
    }
  }
  return false;
}

// performance critical: runs once per token; please benchmark changes.
Outcome count_token(const unsigned char* p, std::ptrdiff_t len, bool identifier) {
  if (len >= kTooLongLen) return identifier ? Outcome::kWordTooLong : Outcome::kNumberTooLong;
  Key key;
  make_key(p, static_cast<int>(len), identifier, &key);
  if (find_or_add(identifier ? kIdentifiers : kNumbers, key, 1) >= 0) return Outcome::kDone;
  return identifier ? Outcome::kWordsFull : Outcome::kNumbersFull;
}

alignas(64) Spelling g_spellings[kSpellingSlots];
std::uint32_t g_spelling_spill = 0xFFFFFFFFu;
namespace {
// Each spelling's key slot in its token table; whether that is the number
// table follows from the spelling's first byte.
std::int32_t g_spelling_slot[kSpellingSlots];

// The same home as the SIMD lookups compute, from a stored entry (whose
// last four bytes hold the count, not text). x86-64 only, as they are.
std::size_t home_of(const Spelling& s, int shift) {
  std::uint64_t w[4];
  std::memcpy(w, &s, sizeof w);
  w[3] &= 0xFFFFFFFFu;
  return spelling_mix(w[0] ^ w[3], w[1] ^ w[2], shift);
}

// Doubles the table, moving every entry to its home in the larger one.
void grow_spellings() {
  static Spelling moved[kSpellingLimit];
  static std::int32_t moved_slot[kSpellingLimit];
  const std::size_t n = g_spelling_fill;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t at = g_spelling_used[i];
    moved[i] = g_spellings[at];
    moved_slot[i] = g_spelling_slot[at];
    g_spellings[at] = Spelling{};
  }
  size_spellings(65 - g_spelling_shift);
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t at = home_of(moved[i], g_spelling_shift);
    while (g_spellings[at].count != 0) at = (at + 1) & g_spelling_mask;
    g_spellings[at] = moved[i];
    g_spelling_slot[at] = moved_slot[i];
    g_spelling_used[i] = static_cast<std::uint32_t>(at);
  }
}

void add_to_tables(const Spelling& s, std::int32_t slot, std::uint64_t n) {
  (kClass.of[s.text[0]] == kDigit ? numCount : wordCount)[slot] += n;
  for (int j = 0; j < kSpellingMaxLen && s.text[j] != 0; ++j) letterCount[s.text[j]] += n;
}
}  // namespace

int g_spelling_shift = 64 - kSpellingMinBits;
std::size_t g_spelling_mask = (std::size_t{1} << kSpellingMinBits) - 1;

Outcome add_spelling(const unsigned char* p, int len, std::size_t at) {
  const bool number = kClass.of[p[0]] == kDigit;
  Key key;
  make_key(p, len, !number, &key);
  // The spelling's own count carries this occurrence; the table gets it at
  // the next fold.
  const int slot = find_or_add(number ? kNumbers : kIdentifiers, key, 0);
  if (slot < 0) return number ? Outcome::kNumbersFull : Outcome::kWordsFull;
  Spelling& s = g_spellings[at];
  std::memcpy(s.text, p, static_cast<std::size_t>(len));
  s.count = 1;
  g_spelling_slot[at] = slot;
  g_spelling_used[g_spelling_fill++] = static_cast<std::uint32_t>(at);
  if (g_spelling_fill == g_spelling_limit) {
    if (g_spelling_shift > 64 - kSpellingMaxBits) {
      grow_spellings();
    } else {
      fold_spellings();
    }
  }
  return Outcome::kDone;
}

void fold_spellings() {
  for (std::size_t i = 0; i < g_spelling_fill; ++i) {
    const std::uint32_t at = g_spelling_used[i];
    add_to_tables(g_spellings[at], g_spelling_slot[at], g_spellings[at].count);
    g_spellings[at] = Spelling{};
  }
  g_spelling_fill = 0;
}

void spill_spelling(std::size_t at) {
  add_to_tables(g_spellings[at], g_spelling_slot[at], g_spellings[at].count - 1);
  g_spellings[at].count = 1;
}

void count_input(Input in, ScanPath path, ScanResult* result) {
  const BlockScanner scan = scanner_for(path);
  g_token.kind = kSeparator;
  discard_spellings();
  unsigned char* const data = g_buf + kCarryRoom;
  std::size_t carry = 0;
  for (;;) {
    int err = 0;
    const std::ptrdiff_t n = in.read(in.ctx, data, kBlockSize, &err);
    if (n < 0) {
      result->outcome = Outcome::kReadError;
      result->error = err;
      return;
    }
    cc += static_cast<std::uint64_t>(n);
    const unsigned char* const end = data + n;
    const BlockResult r = scan(data - carry, data, end, n == 0);
    result->outcome = r.outcome;
    if (r.outcome == Outcome::kWordTooLong || r.outcome == Outcome::kNumberTooLong) {
      stop_with_token(r, result);
    }
    if (r.outcome != Outcome::kDone) return;
    if (n == 0) break;
    carry = static_cast<std::size_t>(end - r.mark);
    std::memmove(data - carry, r.mark, carry);
  }
  fold_spellings();
  // Every token added one to exactly one count.
  wordc = sum(wordCount, w_num) + sum(numCount, n_num);
  linec = letterCount[static_cast<int>('\n')];
}

}  // namespace tally
