#include "pty_session.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "text_search.h"

namespace {

std::string without_carriage_returns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::chrono::duration<double> seconds(double s) {
  return std::chrono::duration<double>(s);
}

}  // namespace

PtySession::PtySession(const ProgramRun &run) {
  int master = -1, slave_fd = -1;
  if (openpty(&master, &slave_fd, nullptr, nullptr, nullptr) != 0) {
    throw std::runtime_error("openpty failed");
  }
  mMaster.reset(master);
  OwnedFd slave(slave_fd);
  // No other program started meanwhile may hold the terminal and delay its end of file.
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave_fd, F_SETFD, FD_CLOEXEC);
  Pipe err = make_pipe();
  if (!err.read_end.valid()) throw std::runtime_error("pipe failed");
  ChildStreams streams;
  streams.in = streams.out = slave.get();
  streams.err = err.write_end.get();
  streams.terminal = true;
  mPid = spawn_program(run, streams);
  if (mPid < 0) throw std::runtime_error("fork failed");
  // The program is the only holder of the terminal's slave and the pipe's writing end from here
  // on, so their ends of file tell that it is gone.
  mErrPipe = std::move(err.read_end);
  mReader = std::thread(&PtySession::read_loop, this);
}

PtySession::~PtySession() {
  if (running()) {
    kill(mPid, SIGKILL);
    wait(10);
  }
  {
    std::lock_guard<std::mutex> guard(mLock);
    mStopReading = true;  // should something else still hold the terminal
  }
  if (mReader.joinable()) mReader.join();
}

void PtySession::read_loop() {
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    {
      std::lock_guard<std::mutex> guard(mLock);
      if (mStopReading) return;
    }
    struct pollfd fds[2] = {{out_open ? mMaster.get() : -1, POLLIN, 0},
                            {err_open ? mErrPipe.get() : -1, POLLIN, 0}};
    if (poll(fds, 2, 50) <= 0) continue;
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof(buf));
      if (n < 0 && errno == EINTR) continue;
      std::lock_guard<std::mutex> guard(mLock);
      if (n <= 0) {
        // The terminal's master reads EIO once no one holds the slave any more.
        (i == 0 ? out_open : err_open) = false;
        (i == 0 ? mOutEnded : mErrEnded) = true;
      } else {
        (i == 0 ? mOut : mErr).append(buf, (size_t)n);
      }
      mChanged.notify_all();
    }
  }
}

void PtySession::send(const std::string &keys) {
  ssize_t n = write(mMaster.get(), keys.data(), keys.size());
  (void)n;  // a program that has already ended reads no more keys
}

std::string PtySession::output() {
  std::lock_guard<std::mutex> guard(mLock);
  return without_carriage_returns(mOut);
}

std::string PtySession::errors() {
  std::lock_guard<std::mutex> guard(mLock);
  return mErr;
}

bool PtySession::wait_for_output(const std::string &text, double timeout_s, size_t count) {
  std::unique_lock<std::mutex> lock(mLock);
  return mChanged.wait_for(lock, seconds(timeout_s), [&] {
    return count_occurrences(without_carriage_returns(mOut), text) >= count;
  });
}

struct termios PtySession::terminal() const {
  struct termios t = {};
  tcgetattr(mMaster.get(), &t);  // a pseudo-terminal's master reports its slave's attributes
  return t;
}

bool PtySession::running() {
  if (mReaped) return false;
  int status = 0;
  if (waitpid(mPid, &status, WNOHANG) == mPid) {
    mReaped = true;
    mEnd = program_end(status);
  }
  return !mReaped;
}

ProgramResult PtySession::wait(double timeout_s) {
  const auto deadline = std::chrono::steady_clock::now() + seconds(timeout_s);
  if (running()) {
    mEnd = wait_for_exit(mPid, timeout_s);
    mReaped = true;
  }
  ProgramResult result;
  static_cast<ProgramEnd &>(result) = mEnd;
  std::unique_lock<std::mutex> lock(mLock);
  if (!mChanged.wait_until(lock, deadline, [&] { return mOutEnded && mErrEnded; })) {
    result.timed_out = true;
  }
  result.out = without_carriage_returns(mOut);
  result.err = mErr;
  return result;
}
