// Separator counts: the recent histograms added up, and the whole added to
// the character table.
#include "token_list.h"

namespace tally {

void flush_recent_separators(SeparatorCounts* seps) {
  for (int c = 0; c < kCodes; ++c) {
    auto& r = seps->recent;
    seps->of[c] += static_cast<std::uint64_t>(r[0][c]) + r[1][c] + r[2][c] + r[3][c];
    r[0][c] = r[1][c] = r[2][c] = r[3][c] = 0;
  }
  seps->recent_bytes = 0;
}

void add_separators(SeparatorCounts* seps) {
  flush_recent_separators(seps);
  for (int c = 0; c < kCodes; ++c) letterCount[c] += seps->of[c];
}

}  // namespace tally
