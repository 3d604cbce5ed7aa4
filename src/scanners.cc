// The table of scanning paths, and the CPU checks that choose among them.
#include "scanners.h"

#include <cstring>

#include "kernels.h"

#if defined(TALLY_X86_PATHS) && !defined(__clang__) && __has_include(<sys/platform/x86.h>)
// The C library has read the CPU's features once already; asking it costs
// no further CPUID instructions, which take microseconds each on a virtual
// machine. (Clang cannot read this header as C++.)
#include <sys/platform/x86.h>
#define TALLY_HAS(feature, bit) CPU_FEATURE_ACTIVE(feature)
#elif defined(TALLY_X86_PATHS)
// Otherwise the CPU is asked, once, with as few CPUID instructions as the
// checks need: the compiler's own detection asks a dozen questions.
#include <cpuid.h>
#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <atomic>
#define TALLY_ASK_CPU 1
#define TALLY_HAS(feature, bit) ((x86_features() & (bit)) != 0)
#endif

namespace tally {
namespace {

bool always() {
  return true;
}

#if defined(TALLY_X86_PATHS)
// Feature bits as x86_features() reports them.
constexpr unsigned kBmi1 = 1u << 0;
constexpr unsigned kAvx2 = 1u << 1;
constexpr unsigned kAvx512F = 1u << 2;
constexpr unsigned kAvx512Bw = 1u << 3;
constexpr unsigned kAvx512Vbmi2 = 1u << 4;

#if defined(TALLY_ASK_CPU)
// The features above that the CPU has and the operating system saves the
// registers of (XCR0: SSE and AVX state for AVX2; opmask and all of ZMM as
// well for AVX-512).
//
// Linux 5.16 and later tell which register states they save in one system
// call; only older kernels cost the two questions that tell it otherwise.
unsigned long long saved_register_states() {
  unsigned long long states = 0;
#if defined(__linux__) && defined(SYS_arch_prctl)
  constexpr int kArchGetXcompSupp = 0x1021;
  if (syscall(SYS_arch_prctl, kArchGetXcompSupp, &states) == 0) return states;
#endif
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(0, eax, ebx, ecx, edx);
  if (eax < 7) return 0;
  __cpuid(1, eax, ebx, ecx, edx);
  if ((ecx & bit_OSXSAVE) == 0) return 0;
  unsigned xcr0_lo = 0, xcr0_hi = 0;
  __asm__("xgetbv" : "=a"(xcr0_lo), "=d"(xcr0_hi) : "c"(0));
  return xcr0_lo | static_cast<unsigned long long>(xcr0_hi) << 32;
}

unsigned detect_x86_features() {
  // A CPU whose system saves AVX state has XSAVE, and so answers question 7.
  const unsigned long long states = saved_register_states();
  const bool avx_state = (states & 0x6u) == 0x6u;
  if (!avx_state) return 0;
  const bool avx512_state = (states & 0xE6u) == 0xE6u;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  unsigned f = 0;
  if ((ebx & bit_BMI) != 0) f |= kBmi1;
  if ((ebx & bit_AVX2) != 0) f |= kAvx2;
  if (avx512_state && (ebx & bit_AVX512F) != 0) f |= kAvx512F;
  if (avx512_state && (ebx & bit_AVX512BW) != 0) f |= kAvx512Bw;
  if (avx512_state && (ecx & bit_AVX512VBMI2) != 0) f |= kAvx512Vbmi2;
  return f;
}

// Asked once per process; threads that ask at once get the same answer.
constexpr unsigned kNotAsked = ~0u;
std::atomic<unsigned> g_x86_features{kNotAsked};

unsigned x86_features() {
  unsigned f = g_x86_features.load(std::memory_order_relaxed);
  if (f == kNotAsked) {
    f = detect_x86_features();
    g_x86_features.store(f, std::memory_order_relaxed);
  }
  return f;
}
#endif

bool has_avx2() {
  return TALLY_HAS(AVX2, kAvx2) && TALLY_HAS(BMI1, kBmi1);
}

bool has_avx512() {
  return TALLY_HAS(AVX512F, kAvx512F) && TALLY_HAS(AVX512BW, kAvx512Bw) &&
         TALLY_HAS(AVX512_VBMI2, kAvx512Vbmi2) && TALLY_HAS(BMI1, kBmi1);
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
