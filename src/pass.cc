// The pass driver: one stretch read in order, or a file cut into as many
// stretches as there are CPUs, counted at once and merged in order.
#include "pass.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <iterator>

namespace tally {
namespace {

// A worker's table takes at most this many spellings and this much text:
// with the tables, RSS stays under 24 MB with every stretch full.
constexpr int kMaxStretches = 3;
constexpr int kWorkerKeys = kEntries;
constexpr std::uint32_t kWorkerText = kSpellingText;
// Smaller files are not worth a thread's start and a merge.
constexpr std::uint64_t kSplitFrom = std::uint64_t{2} << 20;
// Real texts of a few megabytes bring a new spelling every few hundred
// bytes, and fewer as they grow: pages for that many entries, up to 16384,
// are made ready at once for a stretch of a known size, where faulting
// them in one by one took 4-6% of the run on texts of 10-20 MB.
int expected_spellings(std::uint64_t bytes) {
  return static_cast<int>(std::min<std::uint64_t>(bytes / 256, 16384));
}

Buffers g_buffers[kMaxStretches];
KeyTable g_worker_tables[kMaxStretches - 1];
unsigned char g_worker_text[kMaxStretches - 1][kWorkerText + kTextSlack];

struct Worker {
  Tally tally;
  std::uint64_t seps[kCodes];
  std::uint64_t from, to, reached;
  PassResult result;
  // What its thread needs besides.
  const Input* in;
  const Scanner* scan;
  std::size_t read_size;
  const std::atomic<bool>* cancel;
  const cpu_set_t* all;  // where it may run, once started; or null
  int expected;          // spellings to make pages ready for
  Buffers* buffers;
  pthread_t thread;
  bool running;
};

void* run_worker(void* arg) {
  Worker& w = *static_cast<Worker*>(arg);
  if (w.all != nullptr) pthread_setaffinity_np(pthread_self(), sizeof *w.all, w.all);  // a hint
  if (w.expected >= 1024) ready_pages(w.tally.spell, w.expected);
  w.reached = count_stretch(*w.in, *w.scan, &w.tally, w.buffers, w.from, w.to, w.read_size,
                            w.cancel, &w.result);
  return nullptr;
}

// Starts `w`'s thread on the nth CPU of w->all other than this thread's,
// chosen before it runs. A thread starts on its creator's CPU, and one moved
// only once it was running took turns with its creator there: the first
// stretch of a 5 MB file often started a third later, and in about half the
// runs of a 15 MB file 4 ms later. Returns whether the thread started.
bool start(Worker* w, int nth) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  int cpu = -1;
  if (w->all != nullptr) {
    const int here = sched_getcpu();
    int seen = 0;
    for (std::size_t c = 0; c < CPU_SETSIZE && cpu < 0; ++c) {
      if (CPU_ISSET(c, w->all) && static_cast<int>(c) != here && seen++ == nth) {
        cpu = static_cast<int>(c);
      }
    }
  }
  if (cpu >= 0) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(static_cast<std::size_t>(cpu), &one);
    pthread_attr_setaffinity_np(&attr, sizeof one, &one);  // a hint: may fail
  }
  const bool started = pthread_create(&w->thread, &attr, run_worker, w) == 0;
  pthread_attr_destroy(&attr);
  return started;
}

int cpus(const RunOptions& options) {
  if (options.cpus > 0) return options.cpus;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return CPU_COUNT(&set);
}

// Makes ready the pages of the run's tables, which take every stretch's
// keys in the end, for an input of `size` bytes.
void ready_run_tables(std::uint64_t size) {
  const int expected = expected_spellings(size);
  if (expected < 1024) return;
  ready_pages(&spellings, expected);
  ready_pages(&myContainer, expected);
  ready_pages(&myNumber, expected / 8);
}

// Moves a worker's counts into the run's tables, spelling by spelling in
// order of first appearance, so that new keys come in the input's order.
Outcome merge(const Worker& w, Tally* main) {
  for (int c = 0; c < kCodes; ++c) main->seps[c] += w.seps[c];
  const KeyTable& t = *w.tally.spell;
  for (int e = 1; e <= t.n; ++e) {
    const Outcome o = count_spelling(main, entry_key(t, e), t.count[e], false);
    if (o != Outcome::kDone) return o;
  }
  return Outcome::kDone;
}

// The offset at or after `cut` where a stretch may begin: past the rest of
// a token that began before it. Stays inside kTooLongLen bytes of `cut`.
// kToEnd if the input cannot be read there.
// REQUIRES: in.read_at.
std::uint64_t token_boundary(const Input& in, std::uint64_t cut) {
  constexpr std::uint64_t kBack = kTooLongLen + 1;
  const std::uint64_t lo = cut > kBack ? cut - kBack : 0;
  unsigned char buf[2 * kTooLongLen + 8];
  std::size_t n = 0;
  for (;;) {
    int err = 0;
    const std::ptrdiff_t got = in.read_at(in.ctx, buf + n, sizeof buf - n, lo + n, &err);
    if (got < 0) return kToEnd;
    n += static_cast<std::size_t>(got);
    if (got == 0 || n == sizeof buf) break;
  }
  const auto i = static_cast<std::size_t>(cut - lo);
  const auto token = [](unsigned c) { return is_letter(c) || is_digit(c); };
  if (i == 0 || i >= n || !token(buf[i]) || !token(buf[i - 1])) return cut;
  // A run of digits from its start is a number, and a letter after it
  // starts an identifier; a digit after a letter goes on with the identifier.
  std::size_t j = i;
  while (j > 0 && is_digit(buf[j - 1])) --j;
  if (j == 0 && lo != 0) return cut;  // a number too long: a stop before the cut
  const bool in_number = j == 0 || !is_letter(buf[j - 1]);
  if (in_number && is_letter(buf[i])) return cut;
  std::size_t k = i;
  while (k < n && (in_number ? is_digit(buf[k]) : token(buf[k]))) ++k;
  return lo + k;
}

// Counts a regular file of `size` bytes on `n` threads; returns the bytes
// counted.
std::uint64_t count_split(const Input& in, const Scanner& scan, const RunOptions& options, int n,
                          std::uint64_t size, Tally* main, PassResult* result) {
  std::uint64_t cut[kMaxStretches + 1];
  cut[0] = 0;
  cut[n] = kToEnd;
  for (int i = 1; i < n; ++i) {
    cut[i] =
        token_boundary(in, size / static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(i));
    if (cut[i] < cut[i - 1]) cut[i] = cut[i - 1];
  }
  std::atomic<bool> cancel{false};
  static Worker workers[kMaxStretches - 1];
  cpu_set_t all;
  const bool placed = sched_getaffinity(0, sizeof all, &all) == 0;
  const int keys = options.worker_keys > 0 ? options.worker_keys : kWorkerKeys;
  const int expected = expected_spellings(size / static_cast<std::uint64_t>(n));
  for (int i = 1; i < n; ++i) {
    Worker& w = workers[i - 1];
    w.tally = Tally{&g_worker_tables[i - 1], w.seps, false};
    w.from = cut[i];
    w.to = cut[i + 1];
    w.in = &in;
    w.scan = &scan;
    w.read_size = options.read_size;
    w.cancel = &cancel;
    w.all = placed ? &all : nullptr;
    w.expected = expected;
    w.buffers = &g_buffers[i];
    reset_table(w.tally.spell, keys, g_worker_text[i - 1], kWorkerText);
    std::fill(std::begin(w.seps), std::end(w.seps), 0);
    w.running = start(&w, i - 1);
    if (!w.running) {
      // Counted in order after the merge, as a stretch handed back.
      w.reached = w.from;
      w.result.outcome = Outcome::kHandBack;
    }
  }
  // While the workers make their own pages ready.
  ready_run_tables(size);
  std::uint64_t bytes =
      count_stretch(in, scan, main, &g_buffers[0], 0, cut[1], options.read_size, nullptr, result);
  for (int i = 1; i < n; ++i) {
    Worker& w = workers[i - 1];
    if (result->outcome != Outcome::kDone) cancel.store(true, std::memory_order_relaxed);
    if (w.running) pthread_join(w.thread, nullptr);
    if (result->outcome != Outcome::kDone) continue;
    result->outcome = merge(w, main);
    bytes += w.reached - w.from;
    if (result->outcome == Outcome::kDone && w.result.outcome != Outcome::kDone) {
      const std::uint64_t end = count_stretch(in, scan, main, &g_buffers[0], w.reached, w.to,
                                              options.read_size, nullptr, result);
      bytes += end - w.reached;
    }
  }
  return bytes;
}

// Counts of each key from its spellings, and the byte totals that follow
// from the keys' letters and digits.
void settle(const Tally& main) {
  for (int c = 0; c < kCodes; ++c) letterCount[c] += main.direct_bytes[c];
  for (int e = 1; e <= spellings.n; ++e) {
    const unsigned char* text = spellings.text + spellings.about[e].at;
    const std::uint64_t n = spellings.count[e];
    KeyTable& t = text[0] <= '9' ? myNumber : myContainer;
    t.count[spellings.about[e].link] += n;
    add_key_bytes(letterCount, text, spellings.about[e].len, n);
  }
  // Spaces are what no other byte value took.
  std::uint64_t others = 0;
  for (const std::uint64_t c : letterCount) others += c;
  letterCount[kSpace] = cc - others;
  linec = letterCount[kNewline];
  wordc = 0;
  for (int e = 1; e <= myContainer.n; ++e) wordc += myContainer.count[e];
  for (int e = 1; e <= myNumber.n; ++e) wordc += myNumber.count[e];
}

}  // namespace

void count_input(const Input& in, const RunOptions& options, PassResult* result) {
  const Scanner& scan = options.scanner != nullptr ? *options.scanner : best_scanner();
  Tally main{&spellings, letterCount, true};
  const std::uint64_t split_from = options.split_from != 0 ? options.split_from : kSplitFrom;
  int n = in.read_at != nullptr && in.size >= split_from ? cpus(options) : 1;
  if (n > kMaxStretches) n = kMaxStretches;
  if (n > 1 && static_cast<std::uint64_t>(n) > in.size) n = static_cast<int>(in.size);
  if (n > 1) {
    cc = count_split(in, scan, options, n, in.size, &main, result);
  } else {
    ready_run_tables(in.size);
    cc = count_stretch(in, scan, &main, &g_buffers[0], 0, kToEnd, options.read_size, nullptr,
                       result);
  }
  if (result->outcome == Outcome::kDone) settle(main);
}

}  // namespace tally
