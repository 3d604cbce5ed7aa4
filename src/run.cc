// One whole run of the filter over any input.
#include "run.h"

#include <cstring>

namespace tally {

int run_filter(const Input& in, ScanPath path, Text* out, Text* err) {
  reset_tables();
  ScanResult result{};
  count_input(in, path, &result);
  if (result.outcome != Outcome::kDone) {
    write_stop_message(result, err);
    return 1;
  }
  write_report(out);
  return 0;
}

namespace {
std::ptrdiff_t read_memory(void* ctx, unsigned char* dst, std::size_t cap, int* /*err*/) {
  auto* m = static_cast<MemoryInput*>(ctx);
  std::size_t n = m->left < cap ? m->left : cap;
  if (m->chunk != 0 && n > m->chunk) n = m->chunk;
  if (n != 0) std::memcpy(dst, m->data, n);
  m->data += n;
  m->left -= n;
  return static_cast<std::ptrdiff_t>(n);
}
}  // namespace

Input memory_input(MemoryInput* m) {
  return Input{read_memory, m};
}

}  // namespace tally
