// The scalar scanning path, the reference for the others: one byte at a
// time through a classification table, and each token counted on its own,
// without the spelling cache (only its sink).
#include "kernels.h"
#include "spelling_cache.h"

namespace tally {
namespace {

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

}  // namespace

const unsigned char* list_scalar(TokenList* list, const unsigned char* from,
                                 const unsigned char* end, bool eof, SeparatorCounts* seps) {
  list->base = from;
  list->too_long = false;
  std::uint32_t n = 0;
  const unsigned char* p = from;
  while (p < end) {
    const ByteClass cls = kClass.of[*p];
    if (cls == kSeparator) {
      ++seps->of[*p++];
      continue;
    }
    // A number ends at anything but a digit; an identifier takes letters
    // and digits alike.
    const unsigned char* const start = p;
    do {
      ++p;
    } while (p < end && (cls == kDigit ? kClass.of[*p] == kDigit : kClass.of[*p] != kSeparator));
    if (p == end && !eof && end - start < kTooLongLen) {
      list->tokens = n;
      return start;  // it may go on in the next stretch
    }
    list->starts[n] = static_cast<std::uint16_t>(start - from);
    list->ends[n] = static_cast<std::uint16_t>(p - from);
    ++n;
    if (p == end && !eof) list->too_long = true;
  }
  list->tokens = n;
  return end;
}

CountResult count_scalar(const TokenList& list, SpellingCache* cache) {
  for (std::uint32_t k = 0; k < list.tokens; ++k) {
    const unsigned char* const s = list.base + list.starts[k];
    const Outcome o = sink_count(cache->sink, s, list.ends[k] - list.starts[k]);
    if (o != Outcome::kDone) return {o, s};
  }
  return {Outcome::kDone, nullptr};
}

}  // namespace tally
