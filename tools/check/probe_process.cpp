#include "probe_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdio_ext.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

// The signals whose default action ends a process with a core file; a sanitizer's runtime takes
// some of them over, and would turn a crash into an exit.
const int core_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};

// More than any probe says; the rest of a flood is read and dropped.
const size_t max_sent = 64 * 1024;

int64_t monotonic_ms() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

int ms_left(int64_t deadline_ms) {
  int64_t left = deadline_ms - monotonic_ms();
  return left > 0 ? (int)left : 0;
}

[[noreturn]] void become_probe(void (*probe)(int fd), int fd, const sigset_t *mask, pid_t parent) {
  // A probe left behind by a killed camtools-check would hold the library's hardware.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);
  sigprocmask(SIG_SETMASK, mask, nullptr);
  struct rlimit core;
  if (getrlimit(RLIMIT_CORE, &core) == 0) {
    core.rlim_cur = 0;
    setrlimit(RLIMIT_CORE, &core);
  }
  for (int signo : core_signals) signal(signo, SIG_DFL);
  // What the parent could not write yet stays the parent's.
  __fpurge(stdout);
  dup2(STDERR_FILENO, STDOUT_FILENO);
  probe(fd);
  fflush(stdout);
  _exit(0);
}

// Reads `fd` into `sent` until its end or the deadline.
void collect(int fd, int64_t deadline_ms, std::string *sent) {
  char buffer[4096];
  for (;;) {
    struct pollfd ready = {fd, POLLIN, 0};
    int n = poll(&ready, 1, ms_left(deadline_ms));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    ssize_t got = read(fd, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    if (sent->size() < max_sent) sent->append(buffer, (size_t)got);
  }
}

// Reaps `pid` by the deadline, woken by its SIGCHLD (blocked, so it waits in sigtimedwait).
bool reap(pid_t pid, int64_t deadline_ms, const sigset_t *child_signal, int *status) {
  for (;;) {
    pid_t ended = waitpid(pid, status, WNOHANG);
    if (ended == pid) return true;
    if (ended < 0 && errno != EINTR) return false;
    int left = ms_left(deadline_ms);
    if (left == 0) return false;
    struct timespec wait = {left / 1000, (long)(left % 1000) * 1000000};
    sigtimedwait(child_signal, nullptr, &wait);
  }
}

}  // namespace

ProbeEnd run_probe_process(void (*probe)(int fd), unsigned int limit_s) {
  ProbeEnd end = {0, false, 0, ""};
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    end.start_error = errno;
    return end;
  }
  // The child's end is reported by SIGCHLD, kept pending until it is reaped; with SIGCHLD
  // ignored, the system would reap the child itself, status and all.
  sigset_t child_signal, previous_mask;
  sigemptyset(&child_signal);
  sigaddset(&child_signal, SIGCHLD);
  sigprocmask(SIG_BLOCK, &child_signal, &previous_mask);
  struct sigaction default_action = {}, previous_action;
  default_action.sa_handler = SIG_DFL;
  sigaction(SIGCHLD, &default_action, &previous_action);
  // Nothing buffered is written a second time by the child.
  fflush(nullptr);

  const int64_t deadline_ms = monotonic_ms() + (int64_t)limit_s * 1000;
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    become_probe(probe, fds[1], &previous_mask, parent);
  }
  end.start_error = pid < 0 ? errno : 0;
  close(fds[1]);
  if (pid > 0) {
    collect(fds[0], deadline_ms, &end.sent);
    if (!reap(pid, deadline_ms, &child_signal, &end.status)) {
      end.timed_out = true;
      kill(pid, SIGKILL);
      int status;
      reap(pid, monotonic_ms() + 1000, &child_signal, &status);
    }
  }
  close(fds[0]);
  sigaction(SIGCHLD, &previous_action, nullptr);
  sigprocmask(SIG_SETMASK, &previous_mask, nullptr);
  return end;
}
