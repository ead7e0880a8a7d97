// Reading or writing a whole count of bytes on a descriptor that may have to be waited for (a
// FIFO, a pipe, a terminal), in a way a stop signal can always end.
#ifndef WARPBENCH_INTERRUPTIBLE_TRANSFER_H
#define WARPBENCH_INTERRUPTIBLE_TRANSFER_H

#include <errno.h>
#include <stddef.h>
#include <sys/types.h>

#include "stop_signals.h"

// Moves up to `n` bytes between `fd` (non-blocking, or ready whenever poll says so) and `buf` with
// `step` (read or write) until `n` bytes, the end of the file (reading) or a failure, waiting
// whenever the descriptor is not ready; a stop signal ends a wait as the failure EINTR. With
// `wait_first` it waits before every step (a FIFO that no writer has opened yet reads as ended, but
// polls as not ready); without, it waits only when a step could not proceed, so a stop signal never
// cuts short what can be done at once. The count moved; *err is 0 or the failure's errno.
template <typename Step>
size_t transfer(int fd, short events, bool wait_first, size_t n, int *err, Step step) {
  size_t done = 0;
  bool wait = wait_first;
  *err = 0;
  while (done < n) {
    if (wait && wait_ready_or_stopped(fd, events) != 0) {
      *err = errno;
      break;
    }
    ssize_t moved = step(done);
    if (moved > 0) {
      done += (size_t)moved;
      wait = wait_first;
      continue;
    }
    if (moved == 0) break;
    int e = errno;
    if (e != EAGAIN && e != EINTR) {
      *err = e;
      break;
    }
    wait = true;
  }
  return done;
}

#endif  // WARPBENCH_INTERRUPTIBLE_TRANSFER_H
