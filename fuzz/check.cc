// The differential check shared by the fuzz targets.
#include "check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "model.h"
#include "run.h"

namespace {

const char* path_name(tally::ScanPath p) {
  switch (p) {
    case tally::ScanPath::kScalar:
      return "scalar";
    case tally::ScanPath::kAvx2:
      return "avx2";
    case tally::ScanPath::kAvx512:
      return "avx512";
  }
  return "?";
}

[[noreturn]] void mismatch(const char* what, tally::ScanPath path, std::size_t chunk,
                           const std::string& got, const std::string& want) {
  std::fprintf(stderr,
               "tally fuzz: %s differs on path %s, chunk %zu\n--- got (%zu bytes)\n%s\n--- want "
               "(%zu bytes)\n%s\n",
               what, path_name(path), chunk, got.size(), got.c_str(), want.size(), want.c_str());
  std::abort();
}

}  // namespace

void check_against_model(const unsigned char* data, std::size_t size, std::size_t chunk) {
  const ModelResult want = model_run(data, size);
  static char out_buf[tally::kReportMax];
  static char err_buf[tally::kMessageMax];
  for (tally::ScanPath path :
       {tally::ScanPath::kScalar, tally::ScanPath::kAvx2, tally::ScanPath::kAvx512}) {
    if (!tally::path_supported(path)) continue;
    tally::Text out{out_buf, sizeof out_buf, 0, false};
    tally::Text err{err_buf, sizeof err_buf, 0, false};
    tally::MemoryInput m{data, size, chunk};
    const int status = tally::run_filter(tally::memory_input(&m), path, &out, &err);
    const std::string got_out(out.data, out.len);
    const std::string got_err(err.data, err.len);
    if (out.overflow || err.overflow) mismatch("buffer size", path, chunk, "overflow", "");
    if (got_out != want.out) mismatch("stdout", path, chunk, got_out, want.out);
    if (got_err != want.err) mismatch("stderr", path, chunk, got_err, want.err);
    if (status != want.status)
      mismatch("status", path, chunk, std::to_string(status), std::to_string(want.status));
  }
}
