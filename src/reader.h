// The reader thread: reads the input block by block into a ring of slots and
// lists each block's tokens, while the counting thread counts them in order.
#ifndef TALLY_READER_H_
#define TALLY_READER_H_

#include <cstddef>

#include "input.h"
#include "token_list.h"

namespace tally {

// One block as the reader left it.
struct Block {
  TokenList list;
  std::ptrdiff_t read;  // what reading it gave: bytes, 0 at the end, -1
  int error;            // errno value, when read is -1
  bool last;            // no block follows: the end, a read error or a too-long token
};

// Starts the reader on `in`, where the counting thread left off: `carry` is
// the unfinished token there. The reader lists with `list` and tallies
// separators in `seps`, which the counting thread must leave alone until
// stop_reader. Returns false, having read nothing, when no thread can start.
// REQUIRES: no reader is running.
bool start_reader(const Input& in, TokenLister list, const Carry& carry, SeparatorCounts* seps);

// Waits for the next block, in input order.
// REQUIRES: a reader is running and the last block has not been taken.
const Block& next_block();

// The block taken last has been counted; its slot may be filled again.
void done_with_block();

// Ends the reader: waits for it, or, with `leave_waiting` (the run stopped
// early on a blocking input, whose next read may never return), leaves it
// to end with the process.
void stop_reader(bool leave_waiting);

// Whether a reader was left waiting. No further run may start after that:
// the reader still uses the shared buffers.
bool reader_left_waiting();

}  // namespace tally

#endif  // TALLY_READER_H_
