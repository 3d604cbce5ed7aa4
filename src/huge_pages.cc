// The huge-page hint, on Linux; elsewhere nothing.
#include "huge_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tally {

void prefer_huge_pages(void* p, std::size_t n) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Round inwards to whole huge pages by offsets from p, so the pointer
  // passed on is still derived from p.
  const auto start = reinterpret_cast<std::uintptr_t>(p);
  const std::size_t head = (kHugePage - start % kHugePage) % kHugePage;
  if (n <= head) return;
  const std::size_t whole = (n - head) / kHugePage * kHugePage;
  if (whole != 0) madvise(static_cast<char*>(p) + head, whole, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

}  // namespace tally
