// The differential check shared by the fuzz targets.
#include "check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "memory_input.h"
#include "model.h"
#include "scan.h"

namespace {

[[noreturn]] void mismatch(const char* what, const std::string& where, const std::string& got,
                           const std::string& want) {
  std::fprintf(stderr,
               "tally fuzz: %s differs on path %s\n--- got (%zu bytes)\n%s\n--- want "
               "(%zu bytes)\n%s\n",
               what, where.c_str(), got.size(), got.c_str(), want.size(), want.c_str());
  std::abort();
}

// The run that splits: 2 or 3 threads, small reads, and workers' tables
// small enough that they fill and hand back anywhere in a small input.
void shape_split(unsigned knob, std::size_t size, tally::MemoryShape* shape,
                 tally::RunOptions* options) {
  shape->seekable = true;
  if ((knob & 0x80) != 0) shape->fail_at = std::size_t{knob} * 37 % (size + 1);
  options->cpus = 2 + static_cast<int>(knob % 2);
  options->split_from = 1;
  options->read_size = 1 + (knob * 13u) % 97;
  options->worker_keys = (knob & 0x40) != 0 ? 1 + static_cast<int>(knob % 6) : 0;
}

void check_one(const unsigned char* data, std::size_t size, const tally::MemoryShape& shape,
               tally::RunOptions options, const char* how) {
  const ModelResult want = model_run(data, size, shape.fail_at);
  for (std::size_t i = 0; i < tally::kScannerCount; ++i) {
    const tally::Scanner& path = tally::kScanners[i];
    if (!path.supported()) continue;
    options.scanner = &path;
    const tally::RunResult got = tally::run_in_memory(data, size, shape, options);
    const std::string where = std::string(path.name) + ", " + how;
    if (got.overflow) mismatch("buffer size", where, "overflow", "");
    if (got.out != want.out) mismatch("stdout", where, got.out, want.out);
    if (got.err != want.err) mismatch("stderr", where, got.err, want.err);
    if (got.status != want.status) {
      mismatch("status", where, std::to_string(got.status), std::to_string(want.status));
    }
  }
}

}  // namespace

void check_against_model(const unsigned char* data, std::size_t size, unsigned knob) {
  tally::MemoryShape in_order;
  in_order.max_read = knob;
  tally::RunOptions in_order_options;
  in_order_options.read_size = knob;
  check_one(data, size, in_order, in_order_options, "read in order");
  tally::MemoryShape split;
  tally::RunOptions options;
  shape_split(knob, size, &split, &options);
  check_one(data, size, split, options, "split");
}
