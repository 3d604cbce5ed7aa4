// One whole run of the filter over any input.
#include "run.h"

#include "pass.h"
#include "report.h"

namespace tally {

int run_filter(const Input& in, const RunOptions& options, Text* out, Text* err) {
  reset_tables();
  PassResult result{};
  count_input(in, options, &result);
  if (result.outcome != Outcome::kDone) {
    write_stop_message(result, err);
    return 1;
  }
  write_report(out);
  return 0;
}

}  // namespace tally
