// The table of scanning paths, and the CPU checks that choose among them.
#include "scanners.h"

#include <cstring>

#include "kernels.h"

#if defined(TALLY_X86_PATHS) && !defined(__clang__) && __has_include(<sys/platform/x86.h>)
// The C library has read the CPU's features once already; asking it costs
// no further CPUID instructions, which take microseconds each on a virtual
// machine. (Clang cannot read this header as C++, so it asks the CPU.)
#include <sys/platform/x86.h>
#define TALLY_HAS(feature, gcc_name) CPU_FEATURE_ACTIVE(feature)
#else
#define TALLY_HAS(feature, gcc_name) __builtin_cpu_supports(gcc_name)
#endif

namespace tally {
namespace {

bool always() {
  return true;
}

#if defined(TALLY_X86_PATHS)
bool has_avx2() {
  return TALLY_HAS(AVX2, "avx2") && TALLY_HAS(BMI1, "bmi");
}

bool has_avx512() {
  return TALLY_HAS(AVX512F, "avx512f") && TALLY_HAS(AVX512BW, "avx512bw") &&
         TALLY_HAS(AVX512_VBMI2, "avx512vbmi2") && TALLY_HAS(BMI1, "bmi");
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
