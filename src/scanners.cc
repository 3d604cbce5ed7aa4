// The table of scanning paths, and the CPU checks that choose among them.
#include "scanners.h"

#include <cstring>

#include "kernels.h"

namespace tally {
namespace {

bool always() {
  return true;
}

#if defined(TALLY_X86_PATHS)
// The compiler's checks ask the CPU once, at start-up, and also whether the
// system saves the wider registers.
bool has_avx2() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
}

bool has_avx512() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi");
}
#endif

}  // namespace

const Scanner kScanners[] = {
#if defined(TALLY_X86_PATHS)
    {"avx512", has_avx512, list_avx512, count_avx512},
    {"avx2", has_avx2, list_avx2, count_avx2},
#endif
    {"scalar", always, list_scalar, count_scalar},
};
const std::size_t kScannerCount = sizeof kScanners / sizeof kScanners[0];

const TokenCounter kCountDirectly = count_scalar;

const Scanner& best_scanner() {
  for (const Scanner& s : kScanners) {
    if (s.supported()) return s;
  }
  return kScanners[kScannerCount - 1];
}

const Scanner* find_scanner(const char* name) {
  for (const Scanner& s : kScanners) {
    if (std::strcmp(s.name, name) == 0) return &s;
  }
  return nullptr;
}

}  // namespace tally
