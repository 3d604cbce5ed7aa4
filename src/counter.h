// A counting thread's work: listing and counting a buffer of input a part at
// a time, and counting a stretch of a file read at offsets, with the token
// that runs over its end.
#ifndef TALLY_COUNTER_H_
#define TALLY_COUNTER_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "input.h"
#include "scanners.h"
#include "spelling_cache.h"
#include "token_list.h"

namespace tally {

// What a counting thread counts with.
struct Counter {
  const Scanner* scan;
  SpellingCache* cache;
  SeparatorCounts* seps;
  TokenList* list;
  // A stretch stops, kPaused, before a read once `pause` is set by another
  // thread, or once it reaches the offset `pause_at` (tests place it).
  const std::atomic<bool>* pause = nullptr;
  std::uint64_t pause_at = ~std::uint64_t{0};
  // Where the next read begins, kept up for another thread to see.
  std::atomic<std::uint64_t>* reached = nullptr;
};

// Records how counting stopped in `result`, with the offending token for a
// too-long stop.
void record_stop(const CountResult& r, PassResult* result);

// Lists and counts [from, end) a part at a time; at `eof` every token is
// whole. Returns where the unfinished token to carry begins (`end` if none)
// or, if counting stopped (result->outcome), the first byte of the token it
// stopped at. After kOutOfRoom the separators past that token are taken
// back, so that counting can go on from it.
// REQUIRES: as TokenLister, for `from` and for kPadding bytes after `end`.
const unsigned char* count_buffer(const Counter& c, const unsigned char* from,
                                  const unsigned char* end, bool eof, PassResult* result);

// A stretch reads this much at a time, into a buffer of kStretchBuffer.
constexpr std::size_t kStretchRead = std::size_t{64} * 1024;
constexpr std::size_t kStretchBuffer = kCarryRoom + kStretchRead + kPadding;
constexpr std::uint64_t kToEnd = ~std::uint64_t{0};

// Counts the input from offset `from` to `to`, and on through the end of a
// token that runs over `to`; with kToEnd, to the end of the input. Returns
// the offset just past what it counted or, for kOutOfRoom and kPaused, the
// offset of the token to go on from.
// REQUIRES: in.read_at; `from` is where a token or a separator begins.
std::uint64_t count_stretch(const Input& in, const Counter& c, unsigned char* buffer,
                            std::uint64_t from, std::uint64_t to, PassResult* result);

// Where the stretch that begins at offset `cut` starts counting: past the
// rest of a token that begins before the cut and belongs to the stretch
// before. False if that token is too long: an earlier stretch stops there,
// and this one is never needed.
bool stretch_start(const Input& in, std::uint64_t cut, std::uint64_t* start);

}  // namespace tally

#endif  // TALLY_COUNTER_H_
