#include "stop_signals.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

namespace {

// Lock-free, so the handler may set it; atomic, because the console thread reads it too.
std::atomic<int> stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the stop flag is set by a signal handler");
int wake_pipe[2] = {-1, -1};

void record_stop_signal(int sig) {
  int saved_errno = errno;
  stop_signal.store(sig);
  if (wake_pipe[1] >= 0) {
    ssize_t n = write(wake_pipe[1], "", 1);
    (void)n;  // a full pipe is awake already
  }
  errno = saved_errno;
}

}  // namespace

void catch_stop_signals() {
  if (wake_pipe[0] < 0 && pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    wake_pipe[0] = wake_pipe[1] = -1;
  }
  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sa.sa_handler = record_stop_signal;
  sigemptyset(&sa.sa_mask);
  // Restarted I/O keeps output intact; the frame sleep and the console's wait for a key return
  // early all the same.
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

int caught_stop_signal() {
  return stop_signal.load();
}

int stop_signal_fd() {
  return wake_pipe[0];
}

void exit_as_signalled(int status) {
  int sig = stop_signal.load();
  if (sig != 0) {
    fflush(nullptr);
    signal(sig, SIG_DFL);
    raise(sig);
  }
  exit(status);
}
