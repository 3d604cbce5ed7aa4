// Starting the threads that count or read beside the run's own.
#ifndef TALLY_THREADS_H_
#define TALLY_THREADS_H_

#include <pthread.h>
#include <sched.h>

#include <atomic>

namespace tally {

// What a thread is started with. Its owner keeps it until the thread ends.
struct ThreadStart {
  void* (*fn)(void*);
  void* arg;
  cpu_set_t allowed;         // the CPUs the process may use
  std::atomic<bool> placed;  // set once the thread has been placed
};

// Starts `fn(arg)` on a thread of its own, as pthread_create does, on a CPU
// that the process may use other than this thread's: the `nth` such CPU,
// counted round. Left to the scheduler, the first thread of a process was
// often queued behind this one on its CPU and started milliseconds later.
// Once running there, the thread may go wherever the process may, so that
// it can make way for other work. Returns false if no thread could start.
bool start_thread(pthread_t* thread, ThreadStart* start, void* (*fn)(void*), void* arg, int nth);

}  // namespace tally

#endif  // TALLY_THREADS_H_
