#include "stop_signals.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <initializer_list>

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
  // Not restarted: a call blocked when the signal comes (in the library, say) fails with EINTR
  // instead of holding the run. warpbench's own waits also watch the wake pipe.
  sa.sa_flags = 0;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  // A reader that went away makes writes fail with EPIPE, which the writer reports, rather than
  // ending the process before its teardown.
  signal(SIGPIPE, SIG_IGN);
}

int wait_ready_or_stopped(int fd, short events) {
  struct pollfd fds[2] = {{fd, events, 0}, {wake_pipe[0], POLLIN, 0}};
  for (;;) {
    if (caught_stop_signal() != 0) break;
    int n = poll(fds, 2, -1);
    if (n < 0) continue;  // interrupted: look at the flag again
    if (fds[1].revents != 0) break;
    return 0;
  }
  errno = EINTR;
  return -1;
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
