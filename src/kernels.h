// Each scanning path's two stages, one file per path, each compiled for its
// own instruction set. Only the table of paths (scanners.cc) calls them by
// name; everyone else goes through that table.
#ifndef TALLY_KERNELS_H_
#define TALLY_KERNELS_H_

#include "token_list.h"

namespace tally {

// The plain byte-at-a-time reference, on every CPU.
const unsigned char* list_scalar(TokenList* list, const unsigned char* from,
                                 const unsigned char* end, bool eof, SeparatorCounts* seps);
CountResult count_scalar(const TokenList& list, SpellingCache* cache);

#if defined(TALLY_X86_PATHS)
// REQUIRES: the CPU has AVX2 and BMI1.
const unsigned char* list_avx2(TokenList* list, const unsigned char* from, const unsigned char* end,
                               bool eof, SeparatorCounts* seps);
CountResult count_avx2(const TokenList& list, SpellingCache* cache);

// REQUIRES: the CPU has AVX-512 F, BW and VBMI2, and BMI1.
const unsigned char* list_avx512(TokenList* list, const unsigned char* from,
                                 const unsigned char* end, bool eof, SeparatorCounts* seps);
CountResult count_avx512(const TokenList& list, SpellingCache* cache);
#endif

}  // namespace tally

#endif  // TALLY_KERNELS_H_
