// The table of scanning paths: each one's name, whether this CPU can run it,
// and its two stages. The pass, TALLY_FORCE_PATH, the tests and the fuzzers
// all take the paths from here.
#ifndef TALLY_SCANNERS_H_
#define TALLY_SCANNERS_H_

#include <cstddef>

#include "token_list.h"

namespace tally {

struct Scanner {
  const char* name;
  bool (*supported)();
  TokenLister list;
  TokenCounter count;
};

// Every path this build has, fastest first. The last one is the scalar
// reference, which every CPU can run and every other path must agree with.
extern const Scanner kScanners[];
extern const std::size_t kScannerCount;

// Counts listed tokens one at a time into the cache's sink, leaving the
// cache itself alone: what the scalar path always does, and what every path
// does while a text brings new keys faster than a cache would pay for.
extern const TokenCounter kCountDirectly;

// The fastest path this CPU supports.
const Scanner& best_scanner();

// The path called `name`, or nullptr if there is none.
const Scanner* find_scanner(const char* name);

}  // namespace tally

#endif  // TALLY_SCANNERS_H_
