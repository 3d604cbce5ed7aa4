// Runs of the filter over bytes in memory.
#include "memory_input.h"

#include <cstring>

#include "report.h"
#include "run.h"

namespace tally {
namespace {

std::ptrdiff_t read_memory(void* ctx, unsigned char* dst, std::size_t cap, int* /*err*/) {
  auto* m = static_cast<MemoryInput*>(ctx);
  std::size_t n = m->left < cap ? m->left : cap;
  if (m->max_read != 0 && n > m->max_read) n = m->max_read;
  if (n != 0) std::memcpy(dst, m->data, n);
  m->data += n;
  m->left -= n;
  return static_cast<std::ptrdiff_t>(n);
}

}  // namespace

Input memory_input(MemoryInput* m) {
  return Input{read_memory, m};
}

RunResult run_in_memory(const unsigned char* data, std::size_t size, std::size_t max_read,
                        const RunOptions& options) {
  static char out_buf[kReportMax];
  static char err_buf[kMessageMax];
  Text out{out_buf, sizeof out_buf, 0, false};
  Text err{err_buf, sizeof err_buf, 0, false};
  MemoryInput m{data, size, max_read};
  const int status = run_filter(memory_input(&m), options, &out, &err);
  return {status, std::string(out.data, out.len), std::string(err.data, err.len),
          out.overflow || err.overflow};
}

RunResult run_in_memory(const std::string& input, std::size_t max_read, const RunOptions& options) {
  return run_in_memory(reinterpret_cast<const unsigned char*>(input.data()), input.size(), max_read,
                       options);
}

}  // namespace tally
