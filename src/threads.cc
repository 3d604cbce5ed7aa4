// Threads started on a CPU of their own.
#include "threads.h"

#include <cstddef>

namespace tally {
namespace {

void* run_placed(void* arg) {
  ThreadStart* const start = static_cast<ThreadStart*>(arg);
  // The starting thread places this one, then says so; only after that may
  // it go elsewhere, or the placement would stay for good.
  while (!start->placed.load(std::memory_order_acquire)) sched_yield();
  sched_setaffinity(0, sizeof start->allowed, &start->allowed);
  return start->fn(start->arg);
}

}  // namespace

bool start_thread(pthread_t* thread, ThreadStart* start, void* (*fn)(void*), void* arg, int nth) {
  start->fn = fn;
  start->arg = arg;
  start->placed.store(false, std::memory_order_relaxed);
  const bool known = sched_getaffinity(0, sizeof start->allowed, &start->allowed) == 0;
  if (pthread_create(thread, nullptr, known ? run_placed : fn, known ? start : arg) != 0) {
    return false;
  }
  if (!known) return true;
  cpu_set_t others = start->allowed;
  const int here = sched_getcpu();
  if (here >= 0) CPU_CLR(static_cast<std::size_t>(here), &others);
  const int n = CPU_COUNT(&others);
  // A placement that fails leaves the thread where the scheduler put it.
  int skip = n == 0 ? -1 : nth % n;
  for (std::size_t cpu = 0; cpu < CPU_SETSIZE && skip >= 0; ++cpu) {
    if (!CPU_ISSET(cpu, &others) || skip-- != 0) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    pthread_setaffinity_np(*thread, sizeof one, &one);
  }
  start->placed.store(true, std::memory_order_release);
  return true;
}

}  // namespace tally
