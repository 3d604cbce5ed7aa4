// The pass driver: reads the input, has the chosen path list and count it a
// part at a time, and hands large inputs to a reader thread.
#include "pass.h"

#include <unistd.h>

#include <sched.h>

#include "counter.h"
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
  // The number table is seldom as full: it gets them once it needs more
  // than its first huge page (find_or_add).
  prefer_huge_keys(kIdentifiers);
}

// A text's start is counted straight into the tables, without the spelling
// cache, while it keeps bringing new keys: there most spellings are met once
// or twice, and a cache entry for each costs more than it saves. Each window
// of kDirectWindow bytes is judged on its own; the first that brings fewer
// than one new key in kBytesPerNewKey bytes hands over to the cache. Prose
// keeps bringing them for a hundred kilobytes or so, source code for a few
// dozen.
constexpr std::uint64_t kDirectWindow = std::uint64_t{16} * 1024;
constexpr std::uint64_t kBytesPerNewKey = 40;

struct DirectPhase {
  bool on;
  std::uint64_t window;
  std::uint64_t window_end;  // the stream offset where the window ends
  std::int64_t keys_before;  // keys in the tables as it began
  // What the cache is attached with as the phase ends.
  std::uint64_t expected_bytes;
  std::uint32_t spill_at;
};
DirectPhase g_direct;

std::int64_t keys_held() {
  return std::int64_t{w_num} + std::int64_t{n_num};
}

// Hands over to the spelling cache, if that has not happened yet.
void end_direct() {
  if (!g_direct.on) return;
  g_direct.on = false;
  prefer_huge_spellings(&g_spellings, 0, 1, g_direct.expected_bytes);
  attach_spellings(&g_spelling_cache, &g_spellings, 0, 1, g_direct.expected_bytes,
                   g_direct.spill_at, Sink{});
}

void start_direct(const Input& in, const RunOptions& options) {
  const std::uint64_t window = options.direct_window != 0 ? options.direct_window : kDirectWindow;
  g_direct = DirectPhase{true, window, window, 0, in.size, options.spill_at};
  if (window == kNeverDirect) end_direct();
}

// Counts [from, end), the bytes of a read that began at stream offset `at`
// (from may be earlier, at a carried token), directly for as long as the
// phase lasts. Returns where counting through the cache goes on: `end`, a
// token to carry, or the token a stop happened at.
const unsigned char* count_directly(const Scanner& scan, const unsigned char* from,
                                    const unsigned char* data, const unsigned char* end,
                                    std::uint64_t at, bool eof, PassResult* result) {
  const Scanner direct{scan.name, scan.supported, scan.list, kCountDirectly};
  const Counter counter{&direct, &g_spelling_cache, &g_separators, &g_part};
  const auto n = static_cast<std::uint64_t>(end - data);
  while (g_direct.on) {
    const bool whole = g_direct.window_end <= at + n;
    const unsigned char* const to = whole ? data + (g_direct.window_end - at) : end;
    from = count_buffer(counter, from, to, eof && to == end, result);
    if (result->outcome != Outcome::kDone || !whole) return from;
    const std::int64_t keys = keys_held();
    if (static_cast<std::uint64_t>(keys - g_direct.keys_before) * kBytesPerNewKey <
        g_direct.window) {
      end_direct();
    } else {
      g_direct.keys_before = keys;
      g_direct.window_end += g_direct.window;
    }
    if (to == end) return from;
  }
  return from;
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
  const std::uint64_t at = cc;
  cc += static_cast<std::uint64_t>(n);
  const unsigned char* const end = data + n;
  from = count_directly(scan, from, data, end, at, n == 0, result);
  if (result->outcome == Outcome::kDone && !g_direct.on) {
    from = count_buffer(Counter{&scan, &g_spelling_cache, &g_separators, &g_part}, from, end,
                        n == 0, result);
  }
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

// Whether a second thread may read the input. A pipe's writer needs a CPU
// too, but on two the reader thread still pays: cat piping 200 MB into
// tally took 0.21 s with one thread and 0.14 s with two.
bool may_read_ahead(long cpus) {
  return cpus >= 2;
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

  // Huge pages for the identifier slots, if the input is known to be large.
  if (in.size >= kHugeFrom) prefer_huge_tables();
  g_spelling_cache.sink = Sink{};
  start_direct(in, options);
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
    // The reader thread's blocks are counted through the cache.
    if (may_read_ahead(cpus)) end_direct();
    if (!(may_read_ahead(cpus) && count_with_reader(in, scan, carry, result))) {
      count_alone(in, scan, &carry, false, result);
    }
  }
  if (result->outcome != Outcome::kDone) return;

  add_separators(&g_separators);
  flush_spellings(&g_spelling_cache);
  add_up_totals();
}

}  // namespace tally
