// The reader thread and the ring of slots it shares with the counting thread.
#include "reader.h"

#include <pthread.h>

#include "threads.h"

namespace tally {
namespace {

struct Slot {
  alignas(64) unsigned char bytes[kCarryRoom + kBlockSize + kPadding];
  Block block;
};
// Slot i is g_slots[i % kSlots]; the reader fills slots in order while fewer
// than kSlots are listed and not yet counted.
constexpr std::size_t kSlots = 8;
Slot g_slots[kSlots];

class Ring {
 public:
  void reset() {
    listed_ = counted_ = 0;
    reader_waits_ = counter_waits_ = cancelled_ = false;
  }
  // The reader: waits until slot i may be filled. False once cancelled.
  bool wait_to_fill(std::size_t i) {
    pthread_mutex_lock(&mu_);
    if (i - counted_ >= kSlots) {
      // Wait until half the ring is free, so that wake-ups are few.
      reader_waits_ = true;
      while (!cancelled_ && i - counted_ > kSlots / 2) pthread_cond_wait(&reader_cv_, &mu_);
      reader_waits_ = false;
    }
    const bool go_on = !cancelled_;
    pthread_mutex_unlock(&mu_);
    return go_on;
  }
  void listed(std::size_t n) {
    pthread_mutex_lock(&mu_);
    listed_ = n;
    if (counter_waits_) pthread_cond_signal(&counter_cv_);
    pthread_mutex_unlock(&mu_);
  }
  // The counter: waits until slot i is listed.
  void wait_to_count(std::size_t i) {
    pthread_mutex_lock(&mu_);
    counter_waits_ = true;
    while (listed_ <= i) pthread_cond_wait(&counter_cv_, &mu_);
    counter_waits_ = false;
    pthread_mutex_unlock(&mu_);
  }
  void counted(std::size_t n) {
    pthread_mutex_lock(&mu_);
    counted_ = n;
    if (reader_waits_ && listed_ - counted_ <= kSlots / 2) pthread_cond_signal(&reader_cv_);
    pthread_mutex_unlock(&mu_);
  }
  void cancel() {
    pthread_mutex_lock(&mu_);
    cancelled_ = true;
    pthread_cond_signal(&reader_cv_);
    pthread_mutex_unlock(&mu_);
  }

 private:
  pthread_mutex_t mu_ = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t reader_cv_ = PTHREAD_COND_INITIALIZER;
  pthread_cond_t counter_cv_ = PTHREAD_COND_INITIALIZER;
  std::size_t listed_ = 0;
  std::size_t counted_ = 0;
  bool reader_waits_ = false;
  bool counter_waits_ = false;
  bool cancelled_ = false;
};

// Shared with the reader thread, which may outlive the run.
Ring g_ring;
struct Reader {
  Input in;
  TokenLister list;
  Carry carry;
  SeparatorCounts* seps;
} g_reader;
pthread_t g_thread;
ThreadStart g_thread_start;
std::size_t g_next;  // the block the counting thread takes next
bool g_left_waiting;

// Reads and lists slot i. Returns whether a block follows.
bool fill(std::size_t i) {
  Slot& s = g_slots[i % kSlots];
  Block& b = s.block;
  unsigned char* const data = s.bytes + kCarryRoom;
  const unsigned char* const from = place(g_reader.carry, data);
  b.list.tokens = 0;
  b.list.too_long = false;
  b.error = 0;
  b.read = g_reader.in.read(g_reader.in.ctx, data, kBlockSize, &b.error);
  if (b.read >= 0) {
    const unsigned char* const end = data + b.read;
    const unsigned char* const mark = g_reader.list(&b.list, from, end, b.read == 0, g_reader.seps);
    g_reader.carry = Carry{mark, static_cast<std::size_t>(end - mark)};
  }
  b.last = b.read <= 0 || b.list.too_long;
  return !b.last;
}

void* read_ahead(void* /*unused*/) {
  for (std::size_t i = 0; g_ring.wait_to_fill(i); ++i) {
    const bool more = fill(i);
    g_ring.listed(i + 1);
    if (!more) break;
  }
  return nullptr;
}

}  // namespace

bool start_reader(const Input& in, TokenLister list, const Carry& carry, SeparatorCounts* seps) {
  g_reader = Reader{in, list, carry, seps};
  g_ring.reset();
  g_next = 0;
  return start_thread(&g_thread, &g_thread_start, read_ahead, nullptr, 0);
}

const Block& next_block() {
  g_ring.wait_to_count(g_next);
  return g_slots[g_next % kSlots].block;
}

void done_with_block() {
  g_ring.counted(++g_next);
}

void stop_reader(bool leave_waiting) {
  g_ring.cancel();
  if (leave_waiting) {
    pthread_detach(g_thread);
    g_left_waiting = true;
  } else {
    pthread_join(g_thread, nullptr);
  }
}

bool reader_left_waiting() {
  return g_left_waiting;
}

}  // namespace tally
