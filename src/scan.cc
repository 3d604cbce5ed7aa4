// The plain path, and the table of paths with the CPU checks that choose.
#include "scan.h"

#include <cstring>

#include "scan_chunks.h"
#include "tally_tables.h"

namespace tally {

#if defined(TALLY_X86_PATHS)
std::uint32_t list_avx512(const unsigned char* p, std::uint32_t len, std::uint32_t* start,
                          std::uint32_t* end, std::uint64_t* seps, const Singles& known);
std::uint32_t list_avx2(const unsigned char* p, std::uint32_t len, std::uint32_t* start,
                        std::uint32_t* end, std::uint64_t* seps, const Singles& known);
#endif

namespace {

// Each byte's class, one bit per mask of ChunkMasks.
enum : unsigned char { kLetter = 1, kDigit = 2, kSpaceBit = 4, kNewlineBit = 8, kTabBit = 16 };
constexpr struct ByteClasses {
  unsigned char of[kCodes] = {};
  constexpr ByteClasses() {
    for (int c = 'A'; c <= 'Z'; ++c) of[c] = of[c + 32] = kLetter;
    for (int c = '0'; c <= '9'; ++c) of[c] = kDigit;
    of[kSpace] = kSpaceBit;
    of[kNewline] = kNewlineBit;
    of[kTab] = kTabBit;
  }
} kClasses;

ChunkMasks classify_plain(const unsigned char* p, std::uint32_t left, const Singles& known) {
  ChunkMasks m{};
  for (std::uint32_t i = 0; i < 64 && i < left; ++i) {
    const unsigned c = kClasses.of[p[i]];
    m.letters |= std::uint64_t{c & 1u} << i;
    m.digits |= std::uint64_t{c >> 1 & 1u} << i;
    m.spaces |= std::uint64_t{c >> 2 & 1u} << i;
    m.newlines |= std::uint64_t{c >> 3 & 1u} << i;
    m.tabs |= std::uint64_t{c >> 4 & 1u} << i;
    m.known |= std::uint64_t{known.by_low[p[i] & 15u] >> (p[i] >> 4) & 1u} << i;
  }
  return m;
}

std::uint32_t list_plain(const unsigned char* p, std::uint32_t len, std::uint32_t* start,
                         std::uint32_t* end, std::uint64_t* seps, const Singles& known) {
  return list_chunks<classify_plain>(p, len, start, end, seps, known);
}

bool always() {
  return true;
}

#if defined(TALLY_X86_PATHS)
// The C library's record of what the CPU has and the system saves, made
// at start-up in any case, where there is one. The compiler's checks ask
// the CPU again, in a constructor of their own: on a virtual machine each
// question traps to the hypervisor (about 9 us), and those cost a tiny
// input 0.13 ms. (The header is C that only GCC's C++ accepts.)
#if defined(__GNUC__) && !defined(__clang__) && __has_include(<sys/platform/x86.h>)
#include <sys/platform/x86.h>
#define TALLY_HAS(c_library, compiler) CPU_FEATURE_ACTIVE(c_library)
#else
#define TALLY_HAS(c_library, compiler) __builtin_cpu_supports(compiler)
#endif

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
    {"avx512", has_avx512, list_avx512},
    {"avx2", has_avx2, list_avx2},
#endif
    {"scalar", always, list_plain},
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
