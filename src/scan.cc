// The counting pass driver, the plain scalar scanner and the choice of path.
#include "scan.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "scan_internal.h"

namespace tally {
namespace {

// Where the scalar path reads its input.
unsigned char g_buf[kBlockSize];

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
    const std::ptrdiff_t n = in.read(in.ctx, g_buf, sizeof g_buf, &err);
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

// The ring of slots between the reader and the counter. Slot i is
// g_slots[i % kSlots]; the reader fills slots in order while fewer than
// kSlots are listed and not yet counted.
constexpr std::size_t kSlots = 8;
Slot g_slots[kSlots];
SeparatorCounts g_separators;

class Ring {
 public:
  // The reader: waits until slot i may be filled. False once cancelled.
  bool wait_to_fill(std::size_t i) {
    std::unique_lock<std::mutex> lock(mu_);
    if (i - counted_ >= kSlots && !cancelled_) {
      // Wait until half the ring is free, so that wake-ups are few.
      reader_waits_ = true;
      reader_cv_.wait(lock, [&] { return cancelled_ || i - counted_ <= kSlots / 2; });
      reader_waits_ = false;
    }
    return !cancelled_;
  }
  void listed(std::size_t n) {
    const std::lock_guard<std::mutex> lock(mu_);
    listed_ = n;
    if (counter_waits_) counter_cv_.notify_one();
  }
  // The counter: waits until slot i is listed.
  void wait_to_count(std::size_t i) {
    std::unique_lock<std::mutex> lock(mu_);
    if (listed_ <= i) {
      counter_waits_ = true;
      counter_cv_.wait(lock, [&] { return listed_ > i; });
      counter_waits_ = false;
    }
  }
  void counted(std::size_t n) {
    const std::lock_guard<std::mutex> lock(mu_);
    counted_ = n;
    if (reader_waits_ && listed_ - counted_ <= kSlots / 2) reader_cv_.notify_one();
  }
  void cancel() {
    const std::lock_guard<std::mutex> lock(mu_);
    cancelled_ = true;
    reader_cv_.notify_one();
  }

 private:
  std::mutex mu_;
  std::condition_variable reader_cv_;
  std::condition_variable counter_cv_;
  std::size_t listed_ = 0;
  std::size_t counted_ = 0;
  bool reader_waits_ = false;
  bool counter_waits_ = false;
  bool cancelled_ = false;
};

struct Reader {
  Input in;
  const FastScanner* scan;
  const unsigned char* carry = nullptr;  // the unfinished token, in the last slot
  std::size_t carry_len = 0;

  // Reads and lists slot i. Returns whether a slot follows.
  bool fill(std::size_t i) {
    Slot& s = g_slots[i % kSlots];
    unsigned char* const data = s.bytes + kCarryRoom;
    if (carry_len != 0) std::memcpy(data - carry_len, carry, carry_len);
    s.tokens = 0;
    s.error = 0;
    s.read = in.read(in.ctx, data, kBlockSize, &s.error);
    s.last = s.read <= 0;
    if (s.read < 0) return false;
    const unsigned char* const end = data + s.read;
    const unsigned char* const mark =
        scan->list(&s, data - carry_len, end, s.read == 0, &g_separators);
    carry = mark;
    carry_len = static_cast<std::size_t>(end - mark);
    return !s.last;
  }

  void run(Ring* ring) {
    for (std::size_t i = 0; ring->wait_to_fill(i); ++i) {
      const bool more = fill(i);
      ring->listed(i + 1);
      if (!more) return;
    }
  }
};

// The SIMD paths: a reader thread lists the tokens while this one counts
// them. If no thread can be started, this one does both in turn.
void count_fast(const Input& in, const FastScanner* scan, ScanResult* result) {
  g_separators = SeparatorCounts{};
  // Shared with the reader thread, which may outlive this call (see below).
  struct Shared {
    Ring ring;
    Reader reader;
  };
  std::unique_ptr<Shared> shared(new Shared{{}, {in, scan}});
  Ring& ring = shared->ring;
  std::thread thread;
  try {
    thread = std::thread(&Reader::run, &shared->reader, &ring);
  } catch (const std::system_error&) {
  }
  for (std::size_t i = 0;; ++i) {
    if (thread.joinable()) {
      ring.wait_to_count(i);
    } else {
      shared->reader.fill(i);
    }
    const Slot& s = g_slots[i % kSlots];
    if (s.read < 0) {
      result->outcome = Outcome::kReadError;
      result->error = s.error;
      break;
    }
    cc += static_cast<std::uint64_t>(s.read);
    const BlockResult r = scan->count(s);
    stop_on(r, result);
    if (r.outcome != Outcome::kDone || s.last) break;
    if (thread.joinable()) ring.counted(i + 1);
  }
  if (thread.joinable()) {
    ring.cancel();
    if (result->outcome != Outcome::kDone && in.blocking) {
      // A reader stopped early may wait for input that never comes; it is
      // left to end with the program, and keeps what it shares.
      thread.detach();
      static_cast<void>(shared.release());
      return;
    }
    thread.join();
  }
  if (result->outcome != Outcome::kDone) return;
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
