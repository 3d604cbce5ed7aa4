// Runs the real filter on every scanning path this CPU has and aborts, with
// a description, on any difference from the model.
#ifndef TALLY_FUZZ_CHECK_H_
#define TALLY_FUZZ_CHECK_H_

#include <cstddef>

// Two runs on each path, both shaped by `knob`: one reading in order, at
// most `knob` bytes a read (0: as many as asked for); one split between
// several threads in small stretches and rooms, on a seekable input that
// may fail to read at an offset.
void check_against_model(const unsigned char* data, std::size_t size, unsigned knob);

#endif  // TALLY_FUZZ_CHECK_H_
