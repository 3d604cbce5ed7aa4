// The pass driver: reads the input, has the chosen path list and count it a
// part at a time, and hands large inputs to a reader thread.
#include "pass.h"

#include <unistd.h>

#include <sched.h>

#include "counter.h"
#include "huge_pages.h"
#include "reader.h"
#include "scanners.h"
#include "spelling_cache.h"
#include "split.h"
#include "token_list.h"

namespace tally {
namespace {

// Where the input is read on this thread, after room for a carried token.
alignas(64) unsigned char g_buf[kCarryRoom + kReadSize + kPadding];
TokenList g_part;
SeparatorCounts g_separators;
SpellingStore g_spellings;
SpellingCache g_spelling_cache;

std::uint64_t sum(const std::uint64_t* counts, int n) {
  std::uint64_t total = 0;
  for (int i = 0; i < n; ++i) total += counts[i];
  return total;
}

// From this many bytes on, an input is likely to fill megabytes of the large
// tables, and huge pages for them cost less than the small pages they save.
constexpr std::uint64_t kHugeFrom = std::uint64_t{512} * 1024;

void prefer_huge_tables() {
  static bool done = false;
  if (done) return;
  done = true;
  prefer_huge_pages(myContainer, sizeof myContainer);
  prefer_huge_pages(myNumber, sizeof myNumber);
  prefer_huge_pages(g_spellings.shorts, sizeof g_spellings.shorts);
}

void read_failed(int error, PassResult* result) {
  result->outcome = Outcome::kReadError;
  result->error = error;
}

// Reads the next stretch of input into g_buf and counts it a part at a
// time. Returns what the read gave: bytes, 0 at the end of the input, or -1.
std::ptrdiff_t read_and_count(const Input& in, const Scanner& scan, Carry* carry,
                              PassResult* result) {
  unsigned char* const data = g_buf + kCarryRoom;
  const unsigned char* from = place(*carry, data);
  int err = 0;
  const std::ptrdiff_t n = in.read(in.ctx, data, kReadSize, &err);
  if (n < 0) {
    read_failed(err, result);
    return n;
  }
  cc += static_cast<std::uint64_t>(n);
  const unsigned char* const end = data + n;
  from = count_buffer(Counter{&scan, &g_spelling_cache, &g_separators, &g_part}, from, end, n == 0,
                      result);
  *carry = Carry{from, static_cast<std::size_t>(end - from)};
  return n;
}

// Counts on this thread alone, to the end of the input or a stop, or with
// `until_large` until a read fills the whole buffer. Returns whether it
// stopped for that.
bool count_alone(const Input& in, const Scanner& scan, Carry* carry, bool until_large,
                 PassResult* result) {
  for (;;) {
    const std::ptrdiff_t n = read_and_count(in, scan, carry, result);
    if (result->outcome != Outcome::kDone || n == 0) return false;
    if (until_large && n == static_cast<std::ptrdiff_t>(kReadSize)) return true;
  }
}

// The CPUs this process may run on, as its affinity mask has them.
long usable_cpus(long cpus) {
  if (cpus != 0) return cpus;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return CPU_COUNT(&set);
}

// Whether a second thread may read the input: with a writer to leave room
// for, a blocking input needs a third CPU.
bool may_read_ahead(const Input& in, long cpus) {
  return cpus >= (in.blocking ? 3 : 2);
}

// Counts what a reader thread lists, to the end of the input or a stop.
// Returns false, having read nothing, if no thread can be started.
bool count_with_reader(const Input& in, const Scanner& scan, const Carry& carry,
                       PassResult* result) {
  if (!start_reader(in, scan.list, carry, &g_separators)) return false;
  for (;;) {
    const Block& b = next_block();
    if (b.read < 0) {
      read_failed(b.error, result);
      break;
    }
    cc += static_cast<std::uint64_t>(b.read);
    const CountResult r = scan.count(b.list, &g_spelling_cache);
    record_stop(r, result);
    if (r.outcome != Outcome::kDone || b.last) break;
    done_with_block();
  }
  stop_reader(result->outcome != Outcome::kDone && in.blocking);
  return true;
}

// Every token added one to exactly one count.
void add_up_totals() {
  wordc = sum(wordCount, w_num) + sum(numCount, n_num);
  linec = letterCount[static_cast<int>('\n')];
}

}  // namespace

void count_input(const Input& in, const RunOptions& options, PassResult* result) {
  TALLY_CHECK(!reader_left_waiting());
  const Scanner& scan = options.scanner != nullptr ? *options.scanner : best_scanner();
  clear_spellings(&g_spelling_cache);
  result->outcome = Outcome::kDone;
  const long cpus = usable_cpus(options.cpus);

  // A large file is counted by as many threads as there are CPUs.
  const std::uint64_t split_from = options.split_from != 0 ? options.split_from : kSplitFrom;
  if (in.read_at != nullptr && in.size >= split_from && cpus >= 2) {
    prefer_huge_tables();
    count_split(in, scan, options, cpus < kMaxWorkers ? static_cast<int>(cpus) : kMaxWorkers,
                &g_spellings, result);
    if (result->outcome == Outcome::kDone) add_up_totals();
    return;
  }

  // Huge pages first, if the input is known to be large: the cache makes
  // its first pages ready as it is attached.
  if (in.size >= kHugeFrom) prefer_huge_tables();
  attach_spellings(&g_spelling_cache, &g_spellings, 0, 1, in.size, options.spill_at, Sink{});
  // Zero already before the first run, and left untouched: pages that were
  // never written cost nothing.
  static bool used = false;
  if (used) g_separators = SeparatorCounts{};
  used = true;
  g_separators.flush_after = options.separators_flush_after;

  // One thread until a read fills the buffer, a sign of a large input; then
  // huge pages, and if there are CPUs for it, a reader thread takes over
  // reading and listing.
  Carry carry;
  if (count_alone(in, scan, &carry, true, result)) {
    if (in.size == 0) prefer_huge_tables();
    if (!(may_read_ahead(in, cpus) && count_with_reader(in, scan, carry, result))) {
      count_alone(in, scan, &carry, false, result);
    }
  }
  if (result->outcome != Outcome::kDone) return;

  add_separators(&g_separators);
  flush_spellings(&g_spelling_cache);
  add_up_totals();
}

}  // namespace tally
