// The ranked report: each section lists its most frequent entries by
// repeated selection of the largest count not yet listed.
#include "report.h"

namespace tally {
namespace {

using KeyWriter = void (*)(Text* out, int index);

void character_key(Text* out, int code) {
  if (code == '\n') {
    append(out, "\\n");
  } else if (code == '\t') {
    append(out, "\\t");
  } else {
    const char c = static_cast<char>(code);
    append(out, &c, 1);
  }
}

void table_key(Text* out, const KeyTable& t, int entry) {
  append(out, reinterpret_cast<const char*>(t.text + t.about[entry].at), t.about[entry].len);
}
void identifier_key(Text* out, int entry) {
  table_key(out, myContainer, entry);
}
void number_key(Text* out, int entry) {
  table_key(out, myNumber, entry);
}

// Lists the `distinct` entries of a table of `n` indexes: a header, then up
// to kTopN entries, the largest count first and, among equal counts, the
// lowest index first.
void write_section(Text* out, const char* lead, const char* what, const std::uint64_t* counts,
                   std::int32_t* flags, int n, int distinct, KeyWriter key) {
  const int listed = distinct < kTopN ? distinct : kTopN;
  for (int i = 0; i < n; ++i) flags[i] = 0;
  append(out, lead);
  append(out, "Total ");
  append_u64(out, static_cast<std::uint64_t>(distinct));
  append(out, " different ");
  append(out, what);
  append(out, ", ");
  append_u64(out, static_cast<std::uint64_t>(listed));
  append(out, " most used ");
  append(out, what);
  append(out, ":\n");
  for (int k = 0; k < listed; ++k) {
    int best = -1;
    std::uint64_t best_count = 0;
    for (int i = 0; i < n; ++i) {
      if (counts[i] > best_count && flags[i] == 0) {
        best = i;
        best_count = counts[i];
      }
    }
    TALLY_CHECK(best >= 0 && best < n);
    flags[best] = 1;
    append(out, "No. ");
    append_u64(out, static_cast<std::uint64_t>(k));
    append(out, ": ");
    key(out, best);
    append(out, "\t\t");
    append_u64(out, best_count);
    append(out, "\n");
  }
}

}  // namespace

void write_report(Text* out) {
  append_u64(out, linec);
  append(out, " ");
  append_u64(out, wordc);
  append(out, " ");
  append_u64(out, cc);
  append(out, "\n");
  int codes = 0;
  for (const std::uint64_t count : letterCount) codes += count > 0 ? 1 : 0;
  write_section(out, "", "characters", letterCount, letterCountFlag, kCodes, codes, character_key);
  // Table entries are numbered from 1; index 0 has a count of 0.
  write_section(out, "\n", "identifiers", myContainer.count, wordCountFlag, myContainer.n + 1,
                myContainer.n, identifier_key);
  write_section(out, "\n", "numbers", myNumber.count, numCountFlag, myNumber.n + 1, myNumber.n,
                number_key);
}

void write_stop_message(const PassResult& r, Text* err) {
  switch (r.outcome) {
    case Outcome::kWordTooLong:
    case Outcome::kNumberTooLong:
      append(err, r.outcome == Outcome::kWordTooLong ? "Word " : "Number ");
      append(err, r.token, kTooLongLen);
      append(err, " too long!! Exit.\n");
      break;
    case Outcome::kWordsFull:
      append(err, "Too many different identifiers (limit ");
      append_u64(err, kMaxKeys);
      append(err, ")!! Exit.\n");
      break;
    case Outcome::kNumbersFull:
      append(err, "Too many different numbers (limit ");
      append_u64(err, kMaxKeys);
      append(err, ")!! Exit.\n");
      break;
    case Outcome::kReadError:
      append(err, "tally: cannot read standard input: ");
      append_error(err, r.error);
      append(err, "\n");
      break;
    case Outcome::kDone:
    case Outcome::kHandBack:  // never the end of a run
      break;
  }
}

}  // namespace tally
