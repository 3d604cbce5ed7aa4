// What a run reads: a function that fills a buffer, and what kind of source
// stands behind it.
#ifndef TALLY_INPUT_H_
#define TALLY_INPUT_H_

#include <cstddef>
#include <cstdint>

namespace tally {

// `read` stores up to `cap` bytes at `dst` and returns how many, 0 at end of
// input, or -1 with `*err` set to an errno value. It may return fewer bytes
// than asked for at any time, as a pipe does. It may be called on another
// thread than the run's, one call at a time.
//
// `blocking`: a read may wait indefinitely, as on a pipe or a terminal, so
// what one read brought is counted before the next is asked for.
//
// `size`: how many bytes are left to read, when that is known in advance (a
// regular file), else 0. Only a hint: the input may still end sooner or
// later.
//
// `read_at`, for a regular file: as `read`, but from `offset` bytes after
// where the run began, and callable from several threads at once; it does
// not move where `read` goes on. nullptr for other inputs.
struct Input {
  std::ptrdiff_t (*read)(void* ctx, unsigned char* dst, std::size_t cap, int* err);
  void* ctx;
  bool blocking = false;
  std::uint64_t size = 0;
  std::ptrdiff_t (*read_at)(void* ctx, unsigned char* dst, std::size_t cap, std::uint64_t offset,
                            int* err) = nullptr;
};

}  // namespace tally

#endif  // TALLY_INPUT_H_
