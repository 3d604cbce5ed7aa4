// Runs a fuzz target over saved inputs, without libFuzzer, so that any
// compiler can build it and CTest can run the corpus.
//
// usage: replay FILE_OR_DIRECTORY...
#include <dirent.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int run_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot open %s\n", path.c_str());
    return 1;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int files = 0;
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    struct stat st {};
    if (stat(argv[i], &st) == 0 && S_ISDIR(st.st_mode)) {
      DIR* dir = opendir(argv[i]);
      if (dir == nullptr) {
        ++failures;
        continue;
      }
      while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        failures += run_file(std::string(argv[i]) + "/" + e->d_name);
        ++files;
      }
      closedir(dir);
    } else {
      failures += run_file(argv[i]);
      ++files;
    }
  }
  std::printf("%d passed, %d failed\n", files - failures, failures);
  return failures == 0 && files > 0 ? 0 : 1;
}
