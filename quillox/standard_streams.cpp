#include "standard_streams.h"

#include <errno.h>
#include <fcntl.h>

bool openStandardStreams() {
  for (int stream = 0; stream <= 2; ++stream) {
    if (fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
    // The streams below are open by now, so the lowest free descriptor is this one.
    if (open("/dev/null", O_RDWR) != stream) return false;
  }
  return true;
}
