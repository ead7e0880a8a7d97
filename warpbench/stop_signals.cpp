#include "stop_signals.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

volatile sig_atomic_t stop_signal = 0;

void record_stop_signal(int sig) {
  stop_signal = sig;
}

}  // namespace

void catch_stop_signals() {
  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sa.sa_handler = record_stop_signal;
  sigemptyset(&sa.sa_mask);
  // Restarted I/O keeps output intact; the frame sleep returns early all the same.
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

int caught_stop_signal() {
  return stop_signal;
}

void exit_as_signalled(int status) {
  int sig = stop_signal;
  if (sig != 0) {
    fflush(nullptr);
    signal(sig, SIG_DFL);
    raise(sig);
  }
  exit(status);
}
