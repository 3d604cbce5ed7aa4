// The counting pass: reads the input to its end and fills the tally tables.
#ifndef TALLY_PASS_H_
#define TALLY_PASS_H_

#include "count.h"
#include "input.h"
#include "options.h"

namespace tally {

// Runs the counting pass over the whole input, or up to the first stop,
// and on success settles the totals and tables for the report.
// REQUIRES: the tables are in their start-up state (reset_tables); if
// options.scanner is set, this CPU supports it.
void count_input(const Input& in, const RunOptions& options, PassResult* result);

}  // namespace tally

#endif  // TALLY_PASS_H_
