// The huge-page hint, on Linux; elsewhere nothing.
#include "huge_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tally {

void prefer_huge_pages(void* p, std::size_t n) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const auto start = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (start + n) & ~(kHugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

}  // namespace tally
