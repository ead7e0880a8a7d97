#include "owned_fd.h"

#include <errno.h>
#include <unistd.h>

Pipe make_pipe(int flags) {
  int fds[2];
  Pipe p;
  if (pipe2(fds, flags) == 0) {
    p.read_end.reset(fds[0]);
    p.write_end.reset(fds[1]);
  }
  return p;
}

std::string readToEnd(int fd) {
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof(buf));
    if (n > 0) {
      out.append(buf, (size_t)n);
    } else if (n == 0 || errno != EINTR) {
      return out;
    }
  }
}
