// Counting a file on several threads at once. After a first stretch counted
// alone, the file is cut into rounds of stretches that workers count at the
// same time, each into its own spelling cache and room while the tables are
// read-only to them; after each round the stretches are merged in stream
// order, so that the tables end exactly as one plain pass leaves them.
#ifndef TALLY_SPLIT_H_
#define TALLY_SPLIT_H_

#include <cstdint>

#include "input.h"
#include "options.h"
#include "scanners.h"
#include "spelling_cache.h"
#include "tally_tables.h"

namespace tally {

// The most threads that count at once.
constexpr int kMaxWorkers = 8;
// The defaults of the options that shape a split: the smallest file that
// is split, what one thread counts first, alone, and each thread's stretch
// in the first round. Below 32 MiB the workers' cold spelling caches cost
// more than they gain, and a file goes faster read in order, with a reader
// thread.
constexpr std::uint64_t kSplitFrom = std::uint64_t{32} << 20;
constexpr std::uint64_t kSplitPrefix = std::uint64_t{256} << 10;
constexpr std::uint64_t kSplitStretch = std::uint64_t{256} << 10;

// Counts all of `in` on `workers` threads, this one among them, with
// `store` for their spelling caches. Leaves the tables as the pass would,
// but for the totals of lines and tokens.
// REQUIRES: in.read_at; 2 <= workers <= kMaxWorkers; the tables in their
// start-up state; every part of `store` empty. Leaves them empty.
void count_split(const Input& in, const Scanner& scan, const RunOptions& options, int workers,
                 SpellingStore* store, PassResult* result);

}  // namespace tally

#endif  // TALLY_SPLIT_H_
