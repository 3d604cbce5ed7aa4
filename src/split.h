// Counting a file on several threads at once. In a first round one thread
// counts the start straight into the tables while each of the others counts
// a stretch after it apart, with its own spelling cache and a room for every
// key it meets. Two threads share the whole file so: when the first is done
// before the second, the second pauses, and what it has left is shared out
// again in the same way, unless it is nearly done. With more threads, what
// is left is cut into rounds of stretches that the threads count at the
// same time, the tables read-only to them. After each round the stretches
// are merged in stream order, so that the tables end exactly as one plain
// pass leaves them.
#ifndef TALLY_SPLIT_H_
#define TALLY_SPLIT_H_

#include <cstdint>

#include "input.h"
#include "options.h"
#include "scanners.h"
#include "spelling_cache.h"
#include "tally_tables.h"

namespace tally {

// The most threads that count at once. Each brings state of its own, and
// with every table full more than four would pass the memory bound.
constexpr int kMaxWorkers = 4;
// The defaults of the options that shape a split: the smallest file that
// is split (measured on real texts: from about 200 KB two threads beat one,
// which from 256 KiB also starts a reader thread), and with more than two
// threads what the first counts in the first round and each of them in the
// rounds after it, to begin with (two threads take half the file each).
constexpr std::uint64_t kSplitFrom = std::uint64_t{192} << 10;
constexpr std::uint64_t kSplitPrefix = std::uint64_t{256} << 10;
constexpr std::uint64_t kSplitStretch = std::uint64_t{256} << 10;
// With two threads, the least that the second must have left to read, when
// the first is done, for it to pause and share that out: less takes it a
// millisecond or two, about what the first then spends moving its cache's
// counts to the tables, and what a merge and another round would cost.
constexpr std::uint64_t kPauseWhenLeft = std::uint64_t{2} << 20;

// Counts all of `in` on `workers` threads, this one among them, with
// `store` for this one's spelling cache. Leaves the tables as the pass would,
// but for the totals of lines and tokens.
// REQUIRES: in.read_at; 2 <= workers <= kMaxWorkers; the tables in their
// start-up state; every part of `store` empty. Leaves them empty.
void count_split(const Input& in, const Scanner& scan, const RunOptions& options, int workers,
                 SpellingStore* store, PassResult* result);

}  // namespace tally

#endif  // TALLY_SPLIT_H_
