#include "fd_write.h"

#include <errno.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const char *p, size_t remaining) {
  while (remaining > 0) {
    ssize_t n = write(fd, p, remaining);
    if (n == -1) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    remaining -= (size_t)n;
  }
  return true;
}

}  // namespace

bool WriteFully(int fd, const void *data, unsigned int byte_count) {
  return writeAll(fd, static_cast<const char *>(data), byte_count);
}

bool WriteStringToFd(const std::string &content, int fd) {
  return writeAll(fd, content.data(), content.size());
}
