#include "fd_write.h"

#include <errno.h>
#include <unistd.h>

#include "whole_transfer.h"

namespace {

bool writeAll(int fd, const char *p, size_t n) {
  int error;
  if (transferWhole(n, &error, [&](size_t done) { return write(fd, p + done, n - done); }) == n) {
    return true;
  }
  // A write that takes nothing, which no file does, fails as an I/O error would.
  errno = error != 0 ? error : EIO;
  return false;
}

}  // namespace

bool WriteFully(int fd, const void *data, unsigned int byte_count) {
  return writeAll(fd, static_cast<const char *>(data), byte_count);
}

bool WriteStringToFd(const std::string &content, int fd) {
  return writeAll(fd, content.data(), content.size());
}
