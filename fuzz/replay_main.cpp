// Replays corpus files through a fuzz target without libFuzzer, so that the normal builds (gcc,
// native and armhf, with their sanitizers) run every corpus entry as a regression test. Each
// argument is a file or a folder of files; each file is handed over once, in a buffer of its
// exact size, as libFuzzer hands over an input.

#include <dirent.h>
#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

// The files of `path`, sorted, or `path` itself when it is no folder. False when the folder
// cannot be read to its end.
bool inputs_of(const std::string &path, std::vector<std::string> *files) {
  DIR *dir = opendir(path.c_str());
  if (dir == nullptr) {
    files->assign(1, path);
    return true;
  }
  files->clear();
  int err;
  for (;;) {
    errno = 0;
    struct dirent *entry = readdir(dir);
    err = errno;
    if (entry == nullptr) break;
    if (entry->d_name[0] != '.') files->push_back(path + "/" + entry->d_name);
  }
  closedir(dir);
  if (err != 0) {
    fprintf(stderr, "cannot read the folder %s: %s\n", path.c_str(), strerror(err));
    return false;
  }
  std::sort(files->begin(), files->end());
  return true;
}

bool replay(const std::string &file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  fprintf(stderr, "replay %s (%zu bytes)\n", file.c_str(), bytes.size());
  LLVMFuzzerTestOneInput(exact.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::string> files;
    if (!inputs_of(argv[i], &files)) return 1;
    for (const std::string &file : files) {
      if (!replay(file)) {
        fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
      }
      ++replayed;
    }
  }
  fprintf(stderr, "%zu inputs replayed\n", replayed);
  // A corpus that is missing or empty would pass unnoticed otherwise.
  return replayed > 0 ? 0 : 1;
}
