// Threads placed on a CPU of their own.
#include "threads.h"

#include <sched.h>

#include <cstddef>

namespace tally {

bool start_thread(pthread_t* thread, void* (*fn)(void*), void* arg, int nth) {
  if (pthread_create(thread, nullptr, fn, arg) != 0) return false;
  cpu_set_t others;
  const int here = sched_getcpu();
  if (here < 0 || sched_getaffinity(0, sizeof others, &others) != 0) return true;
  CPU_CLR(static_cast<std::size_t>(here), &others);
  const int n = CPU_COUNT(&others);
  if (n == 0) return true;
  // A placement that fails leaves the thread where the scheduler put it.
  int skip = nth % n;
  for (std::size_t cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &others) || skip-- != 0) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    pthread_setaffinity_np(*thread, sizeof one, &one);
    break;
  }
  return true;
}

}  // namespace tally
