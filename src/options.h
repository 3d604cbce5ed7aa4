// What a run can be told besides its input. The defaults are the program's;
// tests and fuzzers change them to reach rare paths on small inputs.
#ifndef TALLY_OPTIONS_H_
#define TALLY_OPTIONS_H_

#include <cstdint>

namespace tally {

struct Scanner;

constexpr std::uint64_t kNeverDirect = ~std::uint64_t{0};

struct RunOptions {
  // The scanning path; nullptr takes the fastest this CPU supports.
  const Scanner* scanner = nullptr;
  // CPUs to plan threads for; 0: those this process may run on.
  long cpus = 0;
  // A spelling's count that is moved into the tables, before it can wrap.
  std::uint32_t spill_at = 0xFFFFFFFFu;
  // A text read in order is counted straight into the tables while it
  // brings new keys often, judged every this many bytes (pass.cc); 0 takes
  // the default, kNeverDirect counts through the spelling cache from the
  // first token.
  std::uint64_t direct_window = 0;
  // Bytes listed after which the separator histograms are added up.
  std::uint64_t separators_flush_after = std::uint64_t{1} << 31;

  // Counting a file on several threads (split.h). 0 takes the default.
  // The smallest file that is split:
  std::uint64_t split_from = 0;
  // What the first thread counts in the first round, straight into the
  // tables, while each of the others counts a stretch after it apart (two
  // threads: half the file); and that stretch, what the others count (two
  // threads: the rest of the file), which the rounds after it then begin
  // with (each taking four times as much as the last):
  std::uint64_t prefix = 0;
  std::uint64_t stretch = 0;
  // The most keys one worker's room takes:
  std::uint32_t room_keys = 0;
  // With two threads, bytes after which the second, counting apart, pauses,
  // as it does when the first is done before it (0: only then; else only
  // here):
  std::uint64_t pause_after = 0;
  // With two threads, when the first is done, the second pauses only if it
  // has more than this many bytes left to read; else the first moves its
  // cache's counts to the tables while it waits:
  std::uint64_t pause_when_left = 0;
};

}  // namespace tally

#endif  // TALLY_OPTIONS_H_
