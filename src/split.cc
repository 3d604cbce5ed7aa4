// Counting a file on several threads: rounds of stretches, merged in order.
#include "split.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "counter.h"
#include "room.h"
#include "threads.h"

namespace tally {
namespace {

// One worker's state, its own for the whole run.
struct Worker {
  SpellingCache cache;
  Room room;
  SeparatorCounts seps;
  TokenList list;
  alignas(64) unsigned char buffer[kStretchBuffer];
  // This round's stretch, [cut, to), and how counting it went.
  std::uint64_t cut;
  std::uint64_t to;
  bool started;         // false: the stretch before it stops first
  std::uint64_t start;  // where it began counting
  std::uint64_t end;    // where it ended: past its last token, or at its stop
  PassResult result;
  const Input* in;
  const Scanner* scan;
  // Whether it counts apart from the tables this round, into its room,
  // and where a test has it pause (kToEnd: nowhere); set by another thread
  // to have it pause at its next read.
  bool apart;
  std::uint64_t pause_after;
  std::atomic<bool> pause;
  std::atomic<std::uint64_t> reached;  // where its next read begins
  // Set, under g_counted_lock, once its stretch is counted and before its
  // cache's counts move to its room: from then on the room's keys are all
  // there. Whether its keys may be merged before the round ends, whether a
  // thread has taken that on (under the lock as well), and how many it
  // merged (merge_keys_early).
  bool counted;
  bool merge_early;
  bool taken;
  std::uint32_t merged;
  // The first round's state, readied on the worker's own thread, so that
  // the threads make their pages ready at the same time.
  // Its cache is part `part` of `parts` of `store`; apart, its room is
  // part `part` of `room_parts` of the rooms.
  struct Setup {
    bool pending;
    SpellingStore* store;
    int part;
    int parts;
    std::uint64_t expected_bytes;
    std::uint32_t spill_at;
    int room_parts;
    std::uint32_t room_keys;
  } setup;
};

Worker g_workers[kMaxWorkers];
static_assert(kMaxWorkers <= kMaxRooms, "a room for every thread");

// Where a worker says it has counted its stretch, and another waits for it.
pthread_mutex_t g_counted_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_counted_cv = PTHREAD_COND_INITIALIZER;

void say_counted(Worker* w) {
  pthread_mutex_lock(&g_counted_lock);
  w->counted = true;
  pthread_cond_broadcast(&g_counted_cv);
  pthread_mutex_unlock(&g_counted_lock);
}

// Waits until `a` and `b` have counted, then takes on what follows for
// `b`: true for the first thread to ask.
bool take_when_counted(const Worker& a, Worker* b) {
  pthread_mutex_lock(&g_counted_lock);
  while (!a.counted || !b->counted) pthread_cond_wait(&g_counted_cv, &g_counted_lock);
  const bool mine = !b->taken;
  b->taken = true;
  pthread_mutex_unlock(&g_counted_lock);
  return mine;
}

// The spelling caches of the threads that count apart from the tables in
// the first round, a part each; the thread that counts into them has the
// whole of the pass's.
SpellingStore g_apart_spellings;

// The counter of `w`'s stretch, which may pause; or, counting in order
// after a merge, one that does not.
Counter counter_of(Worker* w, bool may_pause) {
  if (!may_pause) return Counter{w->scan, &w->cache, &w->seps, &w->list};
  const std::uint64_t pause_at = w->pause_after == kToEnd || kToEnd - w->start < w->pause_after
                                     ? kToEnd
                                     : w->start + w->pause_after;
  return Counter{w->scan, &w->cache, &w->seps, &w->list, &w->pause, pause_at, &w->reached};
}

void set_up(Worker* w) {
  Worker::Setup& s = w->setup;
  s.pending = false;
  Sink sink{};
  if (w->apart) {
    attach_room(&w->room, s.part, s.room_parts, s.room_keys, false, s.expected_bytes);
    sink = Sink{&w->room};
  }
  attach_spellings(&w->cache, s.store, s.part, s.parts, s.expected_bytes, s.spill_at, sink);
}

void count_part(Worker* w) {
  if (w->setup.pending) set_up(w);
  w->started = stretch_start(*w->in, w->cut, &w->start);
  w->result.outcome = Outcome::kDone;
  if (w->started) {
    w->end = w->start < w->to ? count_stretch(*w->in, counter_of(w, true), w->buffer, w->start,
                                              w->to, &w->result)
                              : w->start;
  }
  say_counted(w);
  // A thread that counted apart moves its cache's counts to its room while
  // the others still count; the merge finds them there.
  if (w->started && w->apart) flush_spellings(&w->cache);
}

void merge_keys_early(const Worker& first, Worker* w);

void* count_part_thread(void* arg) {
  Worker* const w = static_cast<Worker*>(arg);
  count_part(w);
  if (w->merge_early) merge_keys_early(g_workers[0], w);
  return nullptr;
}

// Counts [from, to) and the token over its end with `w`'s cache, its
// references all in the tables, counting straight into them.
std::uint64_t count_in_order(Worker* w, std::uint64_t from, std::uint64_t to, PassResult* result) {
  const Sink room_sink = w->cache.sink;
  w->cache.sink = Sink{};
  const std::uint64_t end =
      count_stretch(*w->in, counter_of(w, false), w->buffer, from, to, result);
  w->cache.sink = room_sink;
  return end;
}

const TokenTable& table_of(const RoomKey& k) {
  return k.number ? kNumbers : kIdentifiers;
}

// Adds keys [from, room.fill) of `room` to the tables, in the order they
// came, with their counts, or with none when `counts` is false (they may
// still be growing), and gives each its slot. Returns where it ended:
// room.fill, or the key that found its table full.
std::uint32_t add_room_keys(Room* room, std::uint32_t from, bool counts) {
  // Each lookup waits on memory twice, for an index entry and for the slot
  // it names: both are asked for some keys ahead.
  constexpr std::uint32_t kIndexAhead = 16;
  constexpr std::uint32_t kSlotAhead = 8;
  const std::uint32_t fill = room->fill;
  for (std::uint32_t i = from; i < fill; ++i) {
    if (i + kIndexAhead < fill) {
      const RoomKey& ahead = room->keys[i + kIndexAhead];
      prefetch_lookup(table_of(ahead), ahead.hash, false);
    }
    if (i + kSlotAhead < fill) {
      const RoomKey& ahead = room->keys[i + kSlotAhead];
      prefetch_lookup(table_of(ahead), ahead.hash, true);
    }
    RoomKey& k = room->keys[i];
    const TokenTable& table = table_of(k);
    const KeyText key = room_key(*room, k);
    // Without counts, no count is written: another thread may be adding to
    // those of the keys the tables held.
    int slot = counts ? find_or_add(table, key, k.count) : find_key(table, key);
    if (slot < 0 && !counts) slot = find_or_add(table, key, 0);
    if (slot < 0) return i;
    k.slot = slot;  // in place of where its text is, read just now
  }
  return fill;
}

// With two threads, the second's keys follow the first's in the tables,
// and can be added to them as soon as both have counted, by whichever is
// free first: this thread while the second moves its cache's counts to its
// room, or the second while this one moves its own to the tables. Those
// writes are counts of keys the tables held, which this leaves alone: the
// keys' counts come in the merge, once both are done. Only when `first`,
// the stretch before, ended where the second's began, with no stop; else
// the merge sees to it all. Waits for both to have counted.
void merge_keys_early(const Worker& first, Worker* w) {
  if (!take_when_counted(first, w)) return;
  if (first.result.outcome != Outcome::kDone || !first.started || !w->started ||
      w->start != first.end) {
    return;
  }
  w->merged = add_room_keys(&w->room, 0, false);
}

// Adds the keys of `w`'s room to the tables, in the order they came, and
// makes its cache refer to their slots. False, with the stop in `result`,
// if a table fills.
bool merge_room(Worker* w, PassResult* result) {
  Room& room = w->room;
  // Keys merged early have their slots; their counts have come in since.
  TALLY_CHECK(w->merged <= room.fill);
  for (std::uint32_t i = 0; i < w->merged; ++i) {
    const RoomKey& k = room.keys[i];
    (k.number ? numCount : wordCount)[k.slot] += k.count;
  }
  const std::uint32_t end = add_room_keys(&room, w->merged, true);
  if (end != room.fill) {
    result->outcome = room.keys[end].number ? Outcome::kNumbersFull : Outcome::kWordsFull;
    return false;
  }
  rebase_spellings(&w->cache, room);
  merge_held(&room);
  for (int c = 0; c < kCodes; ++c) letterCount[c] += room.chars[c];
  clear_room(&room);
  return true;
}

// Merges worker `w`'s stretch after everything before `*next`, and counts
// in order what it left. False, with the stop in `result`, if counting
// stops there.
bool merge_worker(Worker* w, std::uint64_t* next, PassResult* result) {
  if (!w->started) {
    // Only a stop in an earlier stretch keeps a stretch from starting, but
    // if one could not read the bytes before its cut, count it here.
    *next = count_in_order(w, *next, w->to, result);
    return result->outcome == Outcome::kDone;
  }
  if (w->start != *next) {
    // The file changed under the workers: what they counted is no one pass.
    TALLY_CHECK(w->start == *next);
    result->outcome = Outcome::kReadError;
    result->error = EIO;
    return false;
  }
  if (!merge_room(w, result)) return false;
  if (w->result.outcome == Outcome::kPaused) {
    // The rest of its stretch is shared out in the next round.
    *next = w->end;
    return true;
  }
  if (w->result.outcome == Outcome::kOutOfRoom) {
    *next = count_in_order(w, w->end, w->to, result);
    return result->outcome == Outcome::kDone;
  }
  if (w->result.outcome != Outcome::kDone) {
    *result = w->result;
    return false;
  }
  *next = w->end;
  return true;
}

// Counts one round: worker k the stretch from cuts[k] to cuts[k + 1], all
// at once, then merges them in order. With `pause_last` (two workers, the
// second counting apart), the second pauses when this thread is done, if it
// has more than `pause_when_left` bytes left to read; else this thread
// moves its cache's counts to the tables meanwhile, which the other does
// not read. Either thread then adds the second's keys to the tables, as
// soon as both have counted.
// False if counting stops. Says in `*full` whether a room filled.
bool count_round(int workers, const std::uint64_t* cuts, bool pause_last,
                 std::uint64_t pause_when_left, std::uint64_t* next, bool* full,
                 PassResult* result) {
  pthread_t threads[kMaxWorkers];
  ThreadStart starts[kMaxWorkers];
  bool running[kMaxWorkers] = {};
  for (int k = 0; k < workers; ++k) {
    g_workers[k].cut = cuts[k];
    g_workers[k].to = cuts[k + 1];
    g_workers[k].pause.store(false, std::memory_order_relaxed);
    g_workers[k].reached.store(cuts[k], std::memory_order_relaxed);
    g_workers[k].counted = false;
    g_workers[k].merge_early = pause_last && k == workers - 1;
    g_workers[k].taken = false;
    g_workers[k].merged = 0;
  }
  for (int k = 1; k < workers; ++k) {
    running[k] = start_thread(&threads[k], &starts[k], count_part_thread, &g_workers[k], k - 1);
  }
  count_part(&g_workers[0]);
  if (pause_last) {
    Worker& last = g_workers[workers - 1];
    const std::uint64_t at = std::min(last.reached.load(std::memory_order_relaxed), last.to);
    if (last.to - at > pause_when_left) {
      last.pause.store(true, std::memory_order_relaxed);
    } else {
      flush_spellings(&g_workers[0].cache);
    }
    if (running[workers - 1]) merge_keys_early(g_workers[0], &last);
  }
  for (int k = 1; k < workers; ++k) {
    if (running[k]) {
      pthread_join(threads[k], nullptr);
    } else {
      count_part(&g_workers[k]);  // no thread to be had: count it here
    }
  }
  *full = false;
  for (int k = 0; k < workers; ++k) {
    *full |= g_workers[k].result.outcome == Outcome::kOutOfRoom;
    if (!merge_worker(&g_workers[k], next, result)) return false;
  }
  return true;
}

// Gives the workers what they keep for the whole run.
void start_workers(const Input& in, const Scanner& scan, const RunOptions& options, int workers) {
  for (int k = 0; k < workers; ++k) {
    Worker& w = g_workers[k];
    w.in = &in;
    w.scan = &scan;
    w.seps = SeparatorCounts{};
    w.seps.flush_after = options.separators_flush_after;
    w.apart = k > 0;
    // Only the last of the threads may pause, with nothing after it.
    w.pause_after =
        workers == 2 && k == 1 && options.pause_after != 0 ? options.pause_after : kToEnd;
  }
}

int parts_for(int workers) {
  int parts = 1;
  while (parts < workers) parts *= 2;
  return parts;
}

}  // namespace

void count_split(const Input& in, const Scanner& scan, const RunOptions& options, int workers,
                 SpellingStore* store, PassResult* result) {
  TALLY_CHECK(in.read_at != nullptr && workers >= 2 && workers <= kMaxWorkers);
  const std::uint64_t size = in.size;
  // Two threads share the file at once; more count a first stretch each,
  // and the rest in rounds.
  const std::uint64_t prefix = options.prefix != 0 ? options.prefix
                               : workers == 2      ? size / 2
                                                   : kSplitPrefix;
  const std::uint64_t first_stretch = options.stretch != 0 ? options.stretch : kSplitStretch;
  const std::uint64_t pause_when_left =
      options.pause_when_left != 0 ? options.pause_when_left : kPauseWhenLeft;
  // Each thread that counts apart gets a share of the rooms and of the
  // second store: the whole of it when it is the only one, for a rich text
  // brings more spellings than half a cache holds; half of it shared out
  // when there are more, as full tables and three or more whole caches
  // would pass the memory bound.
  const int room_parts = parts_for(workers - 1);
  const int apart_parts = workers == 2 ? 1 : 2 * room_parts;
  start_workers(in, scan, options, workers);
  result->outcome = Outcome::kDone;
  Worker& first = g_workers[0];

  // The first rounds: this thread counts the start into the tables, with
  // the whole of the pass's cache, while each other thread counts the next
  // stretch apart, into a room that holds every key it meets. Two threads
  // share all the rest so; when this one is done first, the other pauses,
  // and what it has left is shared again, in proportion to what each
  // counted meanwhile.
  const auto apart_stretch = [&](std::uint64_t cut) {
    return options.stretch != 0 || workers > 2 ? first_stretch : size - std::min(cut, size);
  };
  first.setup = Worker::Setup{true, store, 0, 1, prefix, options.spill_at, 0, 0};
  for (int k = 1; k < workers; ++k) {
    g_workers[k].setup = Worker::Setup{true,        &g_apart_spellings,    k - 1,
                                       apart_parts, apart_stretch(prefix), options.spill_at,
                                       room_parts,  options.room_keys};
  }
  // Each thread readies its own cache, but the huge pages for them are
  // asked for here, before any other thread runs.
  for (int k = 0; k < workers; ++k) {
    const Worker::Setup& s = g_workers[k].setup;
    prefer_huge_spellings(s.store, s.part, s.parts, s.expected_bytes);
  }
  std::uint64_t cuts[kMaxWorkers + 1];
  std::uint64_t next = 0;
  std::uint64_t cut = prefix;
  bool full = false;
  bool going = true;
  for (;;) {
    cuts[0] = next;
    for (int k = 1; k <= workers; ++k) {
      const std::uint64_t at = cut + apart_stretch(cut) * static_cast<std::uint64_t>(k - 1);
      cuts[k] = at < size && at >= cut ? at : size;
    }
    // Tests that place the pause have it only there.
    going = count_round(workers, cuts, workers == 2 && options.pause_after == 0, pause_when_left,
                        &next, &full, result);
    const Worker& other = g_workers[1];
    if (!going || next >= size || other.result.outcome != Outcome::kPaused) break;
    const auto mine = static_cast<double>(first.end - first.start);
    const auto theirs = static_cast<double>(other.end - other.start);
    const auto left = static_cast<double>(size - next);
    cut =
        mine + theirs > 0 ? next + static_cast<std::uint64_t>(left * mine / (mine + theirs)) : size;
  }
  if (going && next < size) {
    // Then rounds of stretches four times longer each time, while the rooms
    // hold what a stretch brings (what a full room leaves is counted on one
    // thread); the last takes what is left, in equal shares. The tables are
    // only read meanwhile, and every room finds in them what they hold.
    const int parts = parts_for(workers);
    for (int k = 0; k < workers; ++k) {
      Worker& w = g_workers[k];
      attach_room(&w.room, k, parts, options.room_keys, true, 0);
      w.cache.sink = Sink{&w.room};
      w.apart = false;
      w.pause_after = kToEnd;
    }
    std::uint64_t stretch = first_stretch;
    const auto n = static_cast<std::uint64_t>(workers);
    while (next < size) {
      const std::uint64_t left = size - next;
      const std::uint64_t each = left <= 2 * n * stretch ? (left + n - 1) / n : stretch;
      for (int k = 0; k <= workers; ++k) {
        const std::uint64_t at = next + each * static_cast<std::uint64_t>(k);
        cuts[k] = at < size ? at : size;
      }
      if (!count_round(workers, cuts, false, 0, &next, &full, result)) break;
      if (!full) {
        stretch *= 4;
      } else if (stretch / 4 >= first_stretch) {
        stretch /= 4;
      }
    }
  }
  // And whatever has been written since the run began.
  if (result->outcome == Outcome::kDone) next = count_in_order(&first, next, kToEnd, result);

  // Every part of the stores and every room left empty, as they were found.
  for (int k = 0; k < workers; ++k) {
    Worker& w = g_workers[k];
    if (result->outcome == Outcome::kDone) {
      w.cache.sink = Sink{};
      flush_spellings(&w.cache);
      add_separators(&w.seps);
    } else {
      clear_spellings(&w.cache);
      if (w.room.keys != nullptr) clear_room(&w.room);
    }
  }
  if (result->outcome != Outcome::kDone) return;
  cc = next;
}

}  // namespace tally
