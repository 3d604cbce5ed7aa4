// Starting the threads that count or read beside the run's own.
#ifndef TALLY_THREADS_H_
#define TALLY_THREADS_H_

#include <pthread.h>

namespace tally {

// Starts `fn(arg)` on a thread of its own, as pthread_create does, and places
// it on a CPU that the process may use other than this thread's: the
// `nth` such CPU, counted round. Left to the scheduler, the first thread of
// a process was often queued behind this one on its CPU and started
// milliseconds later. Returns false if no thread could be started.
bool start_thread(pthread_t* thread, void* (*fn)(void*), void* arg, int nth);

}  // namespace tally

#endif  // TALLY_THREADS_H_
