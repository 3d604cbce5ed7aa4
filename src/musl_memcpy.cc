// memcpy for the binary linked with musl. musl's copies single bytes until
// the destination is aligned and after the last whole word, and those steps
// cost more than the short keys and spellings that the pass copies; one
// `rep movsb` is as fast as the CPU can copy (short copies are fast on CPUs
// with FSRM, long ones on those with ERMS, which all recent x86-64 CPUs have).
// musl's memmove copies forwards with __memcpy_fwd, defined beside its
// memcpy, so that both are replaced.
#include <cstddef>

namespace {

void* copy_forward(void* dst, const void* src, std::size_t n) {
  void* d = dst;
  __asm__ volatile("rep movsb" : "+D"(d), "+S"(src), "+c"(n) : : "memory");
  return dst;
}

}  // namespace

extern "C" void* memcpy(void* __restrict dst, const void* __restrict src, std::size_t n) {
  return copy_forward(dst, src, n);
}

// NOLINTNEXTLINE(bugprone-reserved-identifier): the name musl's memmove calls.
extern "C" void* __memcpy_fwd(void* dst, const void* src, std::size_t n) {
  return copy_forward(dst, src, n);
}
