// The page hints, on Linux; elsewhere nothing.
#include "huge_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
// Linux 5.14's advice; C libraries older than that do not name it.
#if !defined(MADV_POPULATE_WRITE)
#define MADV_POPULATE_WRITE 23
#endif
#endif

namespace tally {
#if defined(__linux__)
namespace {

// madvise() on the whole pages of `size` bytes inside [p, p + n). Rounds
// inwards by offsets from p, so the pointer passed on is still derived
// from p.
void advise_inside(void* p, std::size_t n, std::size_t size, int advice) {
  const auto start = reinterpret_cast<std::uintptr_t>(p);
  const std::size_t head = (size - start % size) % size;
  if (n <= head) return;
  const std::size_t whole = (n - head) / size * size;
  if (whole != 0) madvise(static_cast<char*>(p) + head, whole, advice);
}

}  // namespace
#endif

void prefer_huge_pages(void* p, std::size_t n) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  advise_inside(p, n, kHugePage, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

void populate_pages(void* p, std::size_t n) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  // Older kernels refuse the advice; the pages then fault as they are met.
  advise_inside(p, n, kSmallPage, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)n;
#endif
}

}  // namespace tally
