// SIGINT, SIGTERM and SIGHUP end a run through its normal teardown instead of cutting it off.
#ifndef WARPBENCH_STOP_SIGNALS_H
#define WARPBENCH_STOP_SIGNALS_H

// Installs the handlers, which only record the signal, without restarting interrupted calls; and
// ignores SIGPIPE, so a write to a pipe whose reader left fails with EPIPE.
void catch_stop_signals();

// Waits until `fd` is ready for `events` (POLLIN, POLLOUT), also when poll reports an error or a
// hang-up on it: 0. -1 with errno EINTR once a stop signal has arrived, before or during the wait.
int wait_ready_or_stopped(int fd, short events);

// The signal caught so far, or 0.
int caught_stop_signal();

// A descriptor that becomes readable when a stop signal arrives (-1 before catch_stop_signals),
// so a thread blocked in poll wakes up.
int stop_signal_fd();

// Ends the process with `status`, or, if a stop signal was caught, by that signal with its
// default action, so the caller sees the conventional status.
[[noreturn]] void exit_as_signalled(int status);

#endif  // WARPBENCH_STOP_SIGNALS_H
