// Page hints for the large tables: huge pages where the system offers them,
// a few large page faults instead of thousands of small ones; and pages
// made ready in one call, before a table that is read before it is written
// faults twice on each of them.
#ifndef TALLY_HUGE_PAGES_H_
#define TALLY_HUGE_PAGES_H_

#include <cstddef>

namespace tally {

// The huge page size that the tables are aligned to.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// The small page size, as x86-64 has it (elsewhere a hint may be declined).
constexpr std::size_t kSmallPage = 4096;

// Asks for huge pages for the whole huge pages inside [p, p + n). Only a
// hint: nothing changes if the system declines, and pages already touched
// stay as they are. A huge page is cleared whole when first touched, so this
// pays only for a table that a large input will fill.
void prefer_huge_pages(void* p, std::size_t n);

// Makes the whole pages inside [p, p + n) present and writable now, where
// the system can, as writing them would. Only a hint as well.
void populate_pages(void* p, std::size_t n);

}  // namespace tally

#endif  // TALLY_HUGE_PAGES_H_
