// Moving a whole count of bytes on a descriptor, one call after another.
#ifndef QUILLOX_WHOLE_TRANSFER_H
#define QUILLOX_WHOLE_TRANSFER_H

#include <errno.h>
#include <stddef.h>
#include <sys/types.h>

// Moves up to `len` bytes with `step(done)`, a write, send or receive of what is left after the
// first `done` bytes: repeated after an interruption by a signal, carried on after a partial one.
// Returns how many moved; fewer when a step moved nothing (`*error` 0: a connection's end) or
// failed (`*error` its errno).
template <typename Step>
size_t transferWhole(size_t len, int *error, Step step) {
  size_t done = 0;
  *error = 0;
  while (done < len) {
    ssize_t n = step(done);
    if (n > 0) {
      done += (size_t)n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) *error = errno;
    break;
  }
  return done;
}

#endif  // QUILLOX_WHOLE_TRANSFER_H
