// Runs the real filter on every scanning path this CPU has and aborts, with
// a description, on any difference from the model.
#ifndef TALLY_FUZZ_CHECK_H_
#define TALLY_FUZZ_CHECK_H_

#include <cstddef>

// `max_read` is the most bytes one read hands over (0: as many as asked for).
void check_against_model(const unsigned char* data, std::size_t size, std::size_t max_read);

#endif  // TALLY_FUZZ_CHECK_H_
