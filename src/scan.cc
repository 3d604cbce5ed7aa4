// The counting pass driver, the plain scalar scanner and the choice of path.
#include "scan.h"

#include <pthread.h>
#include <unistd.h>

#include <cstring>

#include "scan_internal.h"

namespace tally {
namespace {

// Where the input is read on one thread, after room for a token carried
// over from the last read.
alignas(64) unsigned char g_buf[kCarryRoom + kBufferSize + kPadding];

enum ByteClass : unsigned char { kSeparator, kLetter, kDigit };

constexpr ByteClass classify(int c) {
  return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) ? kLetter
         : (c >= '0' && c <= '9')                           ? kDigit
                                                            : kSeparator;
}

struct ClassTable {
  ByteClass of[256];
  constexpr ClassTable() : of() {
    for (int c = 0; c < 256; ++c) of[c] = classify(c);
  }
};
constexpr ClassTable kClass;

// The scalar scanner's token in progress, kept from one block to the next.
struct ScalarToken {
  unsigned char text[kSlotSize];
  int len;
  ByteClass kind;  // kSeparator while no token is open
};
ScalarToken g_token;

std::uint64_t sum(const std::uint64_t* counts, int n) {
  std::uint64_t total = 0;
  for (int i = 0; i < n; ++i) total += counts[i];
  return total;
}

Outcome finish_scalar_token() {
  const Outcome o = count_token(g_token.text, g_token.len, g_token.kind == kLetter);
  g_token.kind = kSeparator;
  return o;
}

// The reference: one byte at a time, each byte recorded, then either added
// to the open token, or closing it and perhaps opening the next. The open
// token is kept from one block to the next in g_token; at `eof` it is
// finished.
BlockResult scan_block_scalar(const unsigned char* data, const unsigned char* end, bool eof) {
  for (const unsigned char* p = data; p < end; ++p) {
    unsigned char c = *p;
    ++letterCount[c];
    const ByteClass cls = kClass.of[c];
    if (g_token.kind != kSeparator) {
      const bool extends = g_token.kind == kLetter ? cls != kSeparator : cls == kDigit;
      if (extends) {
        if (g_token.kind == kLetter && c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
        g_token.text[g_token.len++] = c;
        if (g_token.len == kTooLongLen) {
          return {g_token.kind == kLetter ? Outcome::kWordTooLong : Outcome::kNumberTooLong,
                  g_token.text};
        }
        continue;
      }
      const Outcome o = finish_scalar_token();
      if (o != Outcome::kDone) return {o, end};
    }
    if (cls != kSeparator) {
      if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
      g_token.kind = cls;
      g_token.text[0] = c;
      g_token.len = 1;
    }
  }
  if (eof && g_token.kind != kSeparator) return {finish_scalar_token(), end};
  return {Outcome::kDone, end};
}

const FastScanner* fast_scanner_for(ScanPath path) {
  switch (path) {
#if defined(TALLY_X86_PATHS)
    case ScanPath::kAvx2:
      return &kAvx2Scanner;
    case ScanPath::kAvx512:
      return &kAvx512Scanner;
#endif
    default:
      return nullptr;
  }
}

void stop_with_token(const BlockResult& r, ScanResult* result) {
  std::memcpy(result->token, r.mark, kTooLongLen);
  if (r.outcome == Outcome::kWordTooLong) {
    for (char& c : result->token) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
  }
}

}  // namespace

bool path_supported(ScanPath path) {
  switch (path) {
    case ScanPath::kScalar:
      return true;
#if defined(TALLY_X86_PATHS)
    case ScanPath::kAvx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
    case ScanPath::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi");
#endif
    default:
      return false;
  }
}

ScanPath best_path() {
  // Fastest first.
  static const ScanPath kByPreference[] = {ScanPath::kAvx512, ScanPath::kAvx2};
  for (const ScanPath p : kByPreference) {
    if (path_supported(p)) return p;
  }
  return ScanPath::kScalar;
}

bool parse_path(const char* name, ScanPath* path) {
  static const struct {
    const char* name;
    ScanPath path;
  } kNames[] = {
      {"scalar", ScanPath::kScalar}, {"avx2", ScanPath::kAvx2}, {"avx512", ScanPath::kAvx512}};
  for (const auto& n : kNames) {
    if (std::strcmp(name, n.name) == 0) {
      *path = n.path;
      return true;
    }
  }
  return false;
}

// performance critical: runs once per token; please benchmark changes.
Outcome count_token(const unsigned char* p, std::ptrdiff_t len, bool identifier) {
  if (len >= kTooLongLen) return identifier ? Outcome::kWordTooLong : Outcome::kNumberTooLong;
  Key key;
  make_key(p, static_cast<int>(len), identifier, &key);
  if (find_or_add(identifier ? kIdentifiers : kNumbers, key, 1) >= 0) return Outcome::kDone;
  return identifier ? Outcome::kWordsFull : Outcome::kNumbersFull;
}

Outcome count_token_and_bytes(const unsigned char* p, std::ptrdiff_t len, bool identifier) {
  const Outcome o = count_token(p, len, identifier);
  if (o == Outcome::kDone) {
    for (std::ptrdiff_t i = 0; i < len; ++i) ++letterCount[p[i]];
  }
  return o;
}

namespace {

// Records how the pass ended, with the offending token for a too-long stop.
void stop_on(const BlockResult& r, ScanResult* result) {
  result->outcome = r.outcome;
  if (r.outcome == Outcome::kWordTooLong || r.outcome == Outcome::kNumberTooLong) {
    stop_with_token(r, result);
  }
}

void count_scalar(const Input& in, ScanResult* result) {
  for (;;) {
    int err = 0;
    const std::ptrdiff_t n = in.read(in.ctx, g_buf, kBufferSize, &err);
    if (n < 0) {
      result->outcome = Outcome::kReadError;
      result->error = err;
      return;
    }
    cc += static_cast<std::uint64_t>(n);
    const BlockResult r = scan_block_scalar(g_buf, g_buf + n, n == 0);
    stop_on(r, result);
    if (r.outcome != Outcome::kDone || n == 0) return;
  }
}

// The unfinished token at the end of the input read so far.
struct Carry {
  const unsigned char* from = nullptr;
  std::size_t len = 0;
};

// Moves the carried token to just before `data`, where the next read goes,
// and returns where it starts now.
const unsigned char* place(const Carry& carry, unsigned char* data) {
  if (carry.len != 0) std::memmove(data - carry.len, carry.from, carry.len);
  return data - carry.len;
}

SeparatorCounts g_separators;
TokenList g_part;

}  // namespace

std::uint64_t g_fold_separators_after = std::uint64_t{1} << 31;
long g_cpus = 0;

void fold_separators(SeparatorCounts* seps) {
  for (int c = 0; c < kCodes; ++c) {
    seps->of[c] += static_cast<std::uint64_t>(seps->recent[0][c]) + seps->recent[1][c] +
                   seps->recent[2][c] + seps->recent[3][c];
    seps->recent[0][c] = seps->recent[1][c] = seps->recent[2][c] = seps->recent[3][c] = 0;
  }
  seps->recent_bytes = 0;
}

namespace {

// Reads the next stretch of input into g_buf and counts it, a few kilobytes
// at a time so that each part is counted while still in the nearest cache.
// Returns what the read gave: bytes, 0 at the end of the input, or -1.
std::ptrdiff_t read_and_count(const Input& in, const FastScanner* scan, Carry* carry,
                              ScanResult* result) {
  constexpr std::ptrdiff_t kPartBytes = 4096;
  unsigned char* const data = g_buf + kCarryRoom;
  const unsigned char* from = place(*carry, data);
  int err = 0;
  const std::ptrdiff_t n = in.read(in.ctx, data, kBufferSize, &err);
  if (n < 0) {
    result->outcome = Outcome::kReadError;
    result->error = err;
    return n;
  }
  cc += static_cast<std::uint64_t>(n);
  const unsigned char* const end = data + n;
  for (;;) {
    const unsigned char* const to = end - from > kPartBytes ? from + kPartBytes : end;
    from = scan->list(&g_part, from, to, n == 0, &g_separators);
    const BlockResult r = scan->count(g_part);
    stop_on(r, result);
    if (r.outcome != Outcome::kDone || to == end) break;
  }
  *carry = Carry{from, static_cast<std::size_t>(end - from)};
  return n;
}

// Counts on this thread alone, to the end of the input or a stop, or with
// `until_large` until a read fills the whole buffer. Returns whether it
// stopped for that.
bool count_alone(const Input& in, const FastScanner* scan, Carry* carry, bool until_large,
                 ScanResult* result) {
  for (;;) {
    const std::ptrdiff_t n = read_and_count(in, scan, carry, result);
    if (result->outcome != Outcome::kDone || n == 0) return false;
    if (until_large && n == static_cast<std::ptrdiff_t>(kBufferSize)) return true;
  }
}

// The ring of slots between the reader thread and the counter. Slot i is
// g_slots[i % kSlots]; the reader fills slots in order while fewer than
// kSlots are listed and not yet counted.
struct Slot {
  alignas(64) unsigned char bytes[kCarryRoom + kBlockSize + kPadding];
  TokenList list;
  std::ptrdiff_t read;  // what reading the block gave: bytes, 0 at the end, -1
  int error;            // errno value, when read is -1
  bool last;            // no slot follows: the end, a read error or a too-long token
};
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

// Shared with the reader thread, which may outlive the run (see below).
Ring g_ring;
struct Reader {
  Input in;
  const FastScanner* scan;
  Carry carry;
} g_reader;

// Reads and lists slot i. Returns whether a slot follows.
bool fill(std::size_t i) {
  Slot& s = g_slots[i % kSlots];
  unsigned char* const data = s.bytes + kCarryRoom;
  const unsigned char* const from = place(g_reader.carry, data);
  s.list.tokens = 0;
  s.list.too_long = false;
  s.error = 0;
  s.read = g_reader.in.read(g_reader.in.ctx, data, kBlockSize, &s.error);
  if (s.read >= 0) {
    const unsigned char* const end = data + s.read;
    const unsigned char* const mark =
        g_reader.scan->list(&s.list, from, end, s.read == 0, &g_separators);
    g_reader.carry = Carry{mark, static_cast<std::size_t>(end - mark)};
  }
  s.last = s.read <= 0 || s.list.too_long;
  return !s.last;
}

void* read_ahead(void* /*unused*/) {
  for (std::size_t i = 0; g_ring.wait_to_fill(i); ++i) {
    const bool more = fill(i);
    g_ring.listed(i + 1);
    if (!more) break;
  }
  return nullptr;
}

// Counts what a reader thread lists, to the end of the input or a stop.
// Returns false, having read nothing, if no thread can be started.
bool count_with_reader(const Input& in, const FastScanner* scan, const Carry& carry,
                       ScanResult* result) {
  g_reader = Reader{in, scan, carry};
  g_ring.reset();
  pthread_t thread;
  if (pthread_create(&thread, nullptr, read_ahead, nullptr) != 0) return false;
  for (std::size_t i = 0;; ++i) {
    g_ring.wait_to_count(i);
    const Slot& s = g_slots[i % kSlots];
    if (s.read < 0) {
      result->outcome = Outcome::kReadError;
      result->error = s.error;
      break;
    }
    cc += static_cast<std::uint64_t>(s.read);
    const BlockResult r = scan->count(s.list);
    stop_on(r, result);
    if (r.outcome != Outcome::kDone || s.last) break;
    g_ring.counted(i + 1);
  }
  g_ring.cancel();
  if (result->outcome != Outcome::kDone && in.blocking) {
    // A reader stopped early may wait for input that never comes: it is
    // left to end with the program, which must not start another run.
    pthread_detach(thread);
  } else {
    pthread_join(thread, nullptr);
  }
  return true;
}

// Whether a second thread may read the input: with a writer to leave room
// for, a blocking input needs a third CPU.
bool may_read_ahead(const Input& in) {
  const long cpus = g_cpus != 0 ? g_cpus : sysconf(_SC_NPROCESSORS_ONLN);
  return cpus >= (in.blocking ? 3 : 2);
}

// The SIMD paths. This thread reads, lists and counts until a read fills
// the whole buffer, a sign of a large input; then, if there are CPUs for
// it, a reader thread takes over reading and listing while this one counts.
void count_fast(const Input& in, const FastScanner* scan, ScanResult* result) {
  g_separators = SeparatorCounts{};
  Carry carry;
  if (count_alone(in, scan, &carry, may_read_ahead(in), result) &&
      !count_with_reader(in, scan, carry, result)) {
    count_alone(in, scan, &carry, false, result);
  }
  if (result->outcome != Outcome::kDone) return;
  fold_separators(&g_separators);
  for (int c = 0; c < kCodes; ++c) letterCount[c] += g_separators.of[c];
}

}  // namespace

void count_input(const Input& in, ScanPath path, ScanResult* result) {
  g_token.kind = kSeparator;
  discard_spellings();
  result->outcome = Outcome::kDone;
  if (const FastScanner* scan = fast_scanner_for(path)) {
    count_fast(in, scan, result);
  } else {
    count_scalar(in, result);
  }
  if (result->outcome != Outcome::kDone) return;
  fold_spellings();
  // Every token added one to exactly one count.
  wordc = sum(wordCount, w_num) + sum(numCount, n_num);
  linec = letterCount[static_cast<int>('\n')];
}

}  // namespace tally
