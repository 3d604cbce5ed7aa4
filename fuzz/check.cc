// The differential check shared by the fuzz targets.
#include "check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "memory_input.h"
#include "model.h"
#include "scanners.h"

namespace {

[[noreturn]] void mismatch(const char* what, const std::string& where, const std::string& got,
                           const std::string& want) {
  std::fprintf(stderr,
               "tally fuzz: %s differs on path %s\n--- got (%zu bytes)\n%s\n--- want "
               "(%zu bytes)\n%s\n",
               what, where.c_str(), got.size(), got.c_str(), want.size(), want.c_str());
  std::abort();
}

// The run that splits: 2 to 4 threads, a first stretch and rooms small
// enough that stretches, cuts and full rooms fall all over a small input.
void shape_split(unsigned knob, std::size_t size, tally::MemoryShape* shape,
                 tally::RunOptions* options) {
  shape->seekable = true;
  if ((knob & 0x80) != 0) shape->fail_at = std::size_t{knob} * 37 % (size + 1);
  options->cpus = 2 + knob % 3;
  options->split_from = 1;
  options->prefix = 1 + (knob * 7u) % 61;
  options->stretch = 1 + (knob * 13u) % 97;
  options->room_keys = 1 + knob % 6;
  // Two threads: the second pauses now and then, and what it leaves is
  // shared out again; or whenever the first is done before it.
  options->pause_after = (knob & 0x40) != 0 ? 1 + knob * 11u % 200 : 0;
  options->pause_when_left = (knob & 0x20) != 0 ? 1 : 0;
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
  // Counted straight into the tables at first, handing over to the
  // spelling cache anywhere; or through the cache from the first token.
  tally::RunOptions direct;
  direct.direct_window = knob % 3 == 0 ? tally::kNeverDirect : 1 + knob * 37 % 400;
  check_one(data, size, in_order, direct, "read in order");
  tally::MemoryShape split;
  tally::RunOptions options;
  shape_split(knob, size, &split, &options);
  check_one(data, size, split, options, "split");
}
