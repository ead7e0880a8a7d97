#include "fuzz_input.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

std::unique_ptr<char[]> c_string(const uint8_t *data, size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size > 0) memcpy(text.get(), data, size);
  text[size] = '\0';
  return text;
}

std::vector<std::string> split_at_nul(const uint8_t *data, size_t size) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != 0) continue;
    pieces.emplace_back(reinterpret_cast<const char *>(data + start), i - start);
    start = i + 1;
  }
  if (start < size) pieces.emplace_back(reinterpret_cast<const char *>(data + start), size - start);
  return pieces;
}

ArgVector::ArgVector(const char *program, const uint8_t *data, size_t size) {
  mStrings.push_back(c_string(reinterpret_cast<const uint8_t *>(program), strlen(program)));
  for (const std::string &piece : split_at_nul(data, size)) {
    mStrings.push_back(c_string(reinterpret_cast<const uint8_t *>(piece.data()), piece.size()));
  }
  for (auto &s : mStrings) mArgv.push_back(s.get());
  mArgv.push_back(nullptr);
}

const char *input_as_file(const uint8_t *data, size_t size) {
  static int fd = -1;
  static char path[64];
  if (fd < 0) {
    fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd < 0) {
      perror("memfd_create");
      abort();
    }
    snprintf(path, sizeof(path), "/proc/self/fd/%d", fd);
  }
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != (ssize_t)size) {
    perror("writing the fuzz input file");
    abort();
  }
  return path;
}
