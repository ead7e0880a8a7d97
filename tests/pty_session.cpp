#include "pty_session.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "monotonic_clock.h"

PtySession::PtySession(const ProgramRun &run) {
  int slave = -1;
  int err_pipe[2];
  if (openpty(&mMaster, &slave, nullptr, nullptr, nullptr) != 0 ||
      pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("openpty or pipe failed");
  }
  ChildStreams streams;
  streams.in = streams.out = slave;
  streams.err = err_pipe[1];
  streams.terminal = true;
  mPid = spawn_program(run, streams);
  close(slave);
  close(err_pipe[1]);
  mErrPipe = err_pipe[0];
  mReader = std::thread(&PtySession::read_loop, this);
}

PtySession::~PtySession() {
  if (running()) {
    kill(mPid, SIGKILL);
    wait(10);
  }
  {
    std::lock_guard<std::mutex> guard(mLock);
    mStopReading = true;
  }
  if (mReader.joinable()) mReader.join();
  close(mMaster);
  close(mErrPipe);
}

void PtySession::read_loop() {
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    {
      std::lock_guard<std::mutex> guard(mLock);
      if (mStopReading) return;
    }
    struct pollfd fds[2] = {{out_open ? mMaster : -1, POLLIN, 0},
                            {err_open ? mErrPipe : -1, POLLIN, 0}};
    if (poll(fds, 2, 50) <= 0) continue;
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof(buf));
      if (n <= 0) {
        (i == 0 ? out_open : err_open) = false;  // EIO on the terminal once the program is gone
        continue;
      }
      std::lock_guard<std::mutex> guard(mLock);
      (i == 0 ? mOut : mErr).append(buf, (size_t)n);
    }
  }
}

void PtySession::send(const std::string &keys) {
  ssize_t n = write(mMaster, keys.data(), keys.size());
  (void)n;  // a program that has already ended reads no more keys
}

std::string PtySession::output() {
  std::lock_guard<std::mutex> guard(mLock);
  std::string out = mOut;
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  return out;
}

std::string PtySession::errors() {
  std::lock_guard<std::mutex> guard(mLock);
  return mErr;
}

bool PtySession::wait_for_output(const std::string &text, double timeout_s, size_t count) {
  const double deadline = monotonic_s() + timeout_s;
  for (;;) {
    std::string out = output();
    size_t found = 0;
    for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) {
      ++found;
    }
    if (found >= count) return true;
    if (monotonic_s() > deadline) return false;
    usleep(10000);
  }
}

struct termios PtySession::terminal() const {
  struct termios t = {};
  tcgetattr(mMaster, &t);  // a pseudo-terminal's master reports its slave's attributes
  return t;
}

bool PtySession::running() {
  if (mReaped) return false;
  pid_t r = waitpid(mPid, &mStatus, WNOHANG);
  if (r == mPid) mReaped = true;
  return !mReaped;
}

ProgramResult PtySession::wait(double timeout_s) {
  ProgramResult result;
  const double deadline = monotonic_s() + timeout_s;
  while (running()) {
    if (monotonic_s() > deadline) {
      result.timed_out = true;
      kill(mPid, SIGKILL);
      waitpid(mPid, &mStatus, 0);
      mReaped = true;
      break;
    }
    usleep(5000);
  }
  usleep(100000);  // let the reader take the last output
  result.out = output();
  result.err = errors();
  if (WIFEXITED(mStatus)) result.exit_status = WEXITSTATUS(mStatus);
  if (WIFSIGNALED(mStatus)) result.signal = WTERMSIG(mStatus);
  return result;
}
