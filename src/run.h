// One whole run of the filter, from an input to the texts for standard output
// and standard error, without touching any file descriptor. The program's
// main, the tests and the fuzzers all go through here.
#ifndef TALLY_RUN_H_
#define TALLY_RUN_H_

#include "input.h"
#include "options.h"
#include "text.h"

namespace tally {

// Resets the tables, counts `in` and writes either the report into `out` or
// the stop message into `err`. Returns the exit status: 0, or 1 on a stop.
// REQUIRES: out->cap >= kReportMax, err->cap >= kMessageMax (report.h); the
// requirements of count_input (pass.h) on `options` and earlier runs.
int run_filter(const Input& in, const RunOptions& options, Text* out, Text* err);

}  // namespace tally

#endif  // TALLY_RUN_H_
