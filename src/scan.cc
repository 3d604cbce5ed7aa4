// The plain path, and the table of paths with the CPU checks that choose.
#include "scan.h"

#include <cstring>

#include "scan_chunks.h"

namespace tally {

#if defined(TALLY_X86_PATHS)
std::uint32_t list_avx512(const unsigned char* p, std::uint32_t len, std::uint32_t* start,
                          std::uint32_t* end, std::uint64_t* seps);
std::uint32_t list_avx2(const unsigned char* p, std::uint32_t len, std::uint32_t* start,
                        std::uint32_t* end, std::uint64_t* seps);
#endif

namespace {

ChunkMasks classify_plain(const unsigned char* p) {
  ChunkMasks m{};
  for (int i = 0; i < 64; ++i) {
    const unsigned c = p[i];
    const std::uint64_t bit = std::uint64_t{1} << i;
    if ((c | 0x20) - 'a' < 26) m.letters |= bit;
    if (c - '0' < 10) m.digits |= bit;
    if (c == ' ') m.spaces |= bit;
    if (c == '\n') m.newlines |= bit;
    if (c == '\t') m.tabs |= bit;
  }
  return m;
}

std::uint32_t list_plain(const unsigned char* p, std::uint32_t len, std::uint32_t* start,
                         std::uint32_t* end, std::uint64_t* seps) {
  return list_chunks<classify_plain>(p, len, start, end, seps);
}

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
