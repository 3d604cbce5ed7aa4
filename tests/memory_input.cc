// Runs of the filter over bytes in memory.
#include "memory_input.h"

#include <cerrno>
#include <cstring>

#include "report.h"
#include "run.h"

namespace tally {
namespace {

std::ptrdiff_t read_memory_at(void* ctx, unsigned char* dst, std::size_t cap, std::uint64_t offset,
                              int* err) {
  const auto* m = static_cast<const MemoryInput*>(ctx);
  if (offset >= m->shape.fail_at && m->shape.fail_at < m->size) {
    *err = EIO;
    return -1;
  }
  if (offset >= m->size) return 0;
  const auto at = static_cast<std::size_t>(offset);
  const std::size_t stop = m->shape.fail_at < m->size ? m->shape.fail_at : m->size;
  std::size_t n = stop - at < cap ? stop - at : cap;
  if (m->shape.max_read != 0 && n > m->shape.max_read) n = m->shape.max_read;
  if (n != 0) std::memcpy(dst, m->data + at, n);
  return static_cast<std::ptrdiff_t>(n);
}

std::ptrdiff_t read_memory(void* ctx, unsigned char* dst, std::size_t cap, int* err) {
  auto* m = static_cast<MemoryInput*>(ctx);
  const std::ptrdiff_t n = read_memory_at(ctx, dst, cap, m->at, err);
  if (n > 0) m->at += static_cast<std::size_t>(n);
  return n;
}

}  // namespace

Input memory_input(MemoryInput* m) {
  Input in{read_memory, m};
  if (m->shape.seekable) {
    in.size = m->size;
    in.read_at = read_memory_at;
  }
  return in;
}

RunResult run_in_memory(const unsigned char* data, std::size_t size, const MemoryShape& shape,
                        const RunOptions& options) {
  static char out_buf[kReportMax];
  static char err_buf[kMessageMax];
  Text out{out_buf, sizeof out_buf, 0, false};
  Text err{err_buf, sizeof err_buf, 0, false};
  MemoryInput m{data, size, 0, shape};
  const int status = run_filter(memory_input(&m), options, &out, &err);
  return {status, std::string(out.data, out.len), std::string(err.data, err.len),
          out.overflow || err.overflow};
}

RunResult run_in_memory(const std::string& input, const MemoryShape& shape,
                        const RunOptions& options) {
  return run_in_memory(reinterpret_cast<const unsigned char*>(input.data()), input.size(), shape,
                       options);
}

}  // namespace tally
