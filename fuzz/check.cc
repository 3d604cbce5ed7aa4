// The differential check shared by the fuzz targets.
#include "check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "memory_input.h"
#include "model.h"
#include "scanners.h"

namespace {

[[noreturn]] void mismatch(const char* what, const char* path, std::size_t max_read,
                           const std::string& got, const std::string& want) {
  std::fprintf(stderr,
               "tally fuzz: %s differs on path %s, reads of %zu\n--- got (%zu bytes)\n%s\n--- want "
               "(%zu bytes)\n%s\n",
               what, path, max_read, got.size(), got.c_str(), want.size(), want.c_str());
  std::abort();
}

}  // namespace

void check_against_model(const unsigned char* data, std::size_t size, std::size_t max_read) {
  const ModelResult want = model_run(data, size);
  for (std::size_t i = 0; i < tally::kScannerCount; ++i) {
    const tally::Scanner& path = tally::kScanners[i];
    if (!path.supported()) continue;
    tally::RunOptions options;
    options.scanner = &path;
    const tally::RunResult got = tally::run_in_memory(data, size, max_read, options);
    if (got.overflow) mismatch("buffer size", path.name, max_read, "overflow", "");
    if (got.out != want.out) mismatch("stdout", path.name, max_read, got.out, want.out);
    if (got.err != want.err) mismatch("stderr", path.name, max_read, got.err, want.err);
    if (got.status != want.status) {
      mismatch("status", path.name, max_read, std::to_string(got.status),
               std::to_string(want.status));
    }
  }
}
