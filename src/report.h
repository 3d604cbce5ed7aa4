// The report: the summary line and the three ranked sections, and the
// one-line messages of a run that stops early.
#ifndef TALLY_REPORT_H_
#define TALLY_REPORT_H_

#include <cstddef>

#include "pass.h"
#include "text.h"

namespace tally {

// Upper bounds on what one run writes: the report (three sections of at most
// kTopN entries, each key at most kMaxTokenLen bytes) and a stop message.
constexpr std::size_t kReportMax = 4096;
constexpr std::size_t kMessageMax = 512;

// Appends the summary line and the three sections. Sets the tables'
// already-ranked marks as it goes.
// REQUIRES: the counting pass ended with Outcome::kDone.
void write_report(Text* out);

// Appends the one line that a stopped run writes to standard error.
// REQUIRES: r.outcome != Outcome::kDone.
void write_stop_message(const PassResult& r, Text* err);

}  // namespace tally

#endif  // TALLY_REPORT_H_
