// The counting pass: reads the input to its end and fills the tally tables.
#ifndef TALLY_PASS_H_
#define TALLY_PASS_H_

#include "input.h"
#include "options.h"
#include "tally_tables.h"

namespace tally {

// Runs the counting pass over the whole input, or up to the first stop.
// REQUIRES: the tables are in their start-up state; options.scanner, if
// set, is supported by this CPU; no earlier run in this process left its
// reader waiting (checked under TALLY_CHECKS).
void count_input(const Input& in, const RunOptions& options, PassResult* result);

}  // namespace tally

#endif  // TALLY_PASS_H_
