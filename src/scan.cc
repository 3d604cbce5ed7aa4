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

Outcome count_token_and_bytes(const unsigned char* p, std::ptrdiff_t len, bool identifier) {
  const Outcome o = count_token(p, len, identifier);
  if (o == Outcome::kDone) {
    for (std::ptrdiff_t i = 0; i < len; ++i) ++letterCount[p[i]];
  }
  return o;
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
