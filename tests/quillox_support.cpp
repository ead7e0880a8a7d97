#include "quillox_support.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "loopback_socket.h"
#include "monotonic_clock.h"
#include "staged_install.h"

namespace {

// Waits for `fd` to be readable or the stop pipe; false on the stop or after `timeoutMs`.
bool readable(int fd, int stopFd, int timeoutMs) {
  struct pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
  int n = poll(fds, 2, timeoutMs);
  return n > 0 && fds[1].revents == 0;
}

// Reads up to `len` bytes; returns what arrived before the end, the stop or a quiet minute.
std::string readUpTo(int fd, size_t len, int stopFd) {
  std::string out;
  char buf[4096];
  while (out.size() < len && readable(fd, stopFd, 60 * 1000)) {
    ssize_t n = recv(fd, buf, std::min(sizeof(buf), len - out.size()), 0);
    if (n <= 0) break;
    out.append(buf, (size_t)n);
  }
  return out;
}

}  // namespace

ProgramRun quilloxRun(const std::vector<std::string> &args,
                      const std::map<std::string, std::string> &env) {
  ProgramRun run;
  run.program = staged_program("quillox");
  run.args = args;
  run.env = env;
  return run;
}

ProgramResult runQuillox(const std::vector<std::string> &args,
                         const std::map<std::string, std::string> &env) {
  return run_program(quilloxRun(args, env));
}

TuningPeer::TuningPeer(const std::string &answer, Ending ending, int port)
    : mAnswer(answer), mEnding(ending), mStop(make_pipe()) {
  if (!mStop.read_end.valid()) {
    mError = strerror(errno);
    return;
  }
  mListenFd = listen_loopback(port);
  if (!mListenFd.valid()) {
    mError = "127.0.0.1:" + std::to_string(port) + ": " + strerror(errno);
    return;
  }
  mThread = std::thread([this] { serve(); });
}

TuningPeer::~TuningPeer() {
  if (mThread.joinable()) {
    char byte = 1;
    if (write(mStop.write_end.get(), &byte, 1) != 1) abort();
    mThread.join();
  }
}

std::string TuningPeer::uri() const {
  return "tcp://127.0.0.1:" + std::to_string(bound_port(mListenFd.get()));
}

std::vector<std::string> TuningPeer::requests() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mRequests;
}

size_t TuningPeer::served() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mServed;
}

void TuningPeer::serve() {
  const int stopFd = mStop.read_end.get();
  while (readable(mListenFd.get(), stopFd, -1)) {
    OwnedFd fd(accept4(mListenFd.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd.valid()) continue;
    std::string request = readUpTo(fd.get(), 8, stopFd);
    if (request.size() == 8) {
      uint32_t length;
      memcpy(&length, &request[4], 4);
      request += readUpTo(fd.get(), std::min<uint32_t>(length, 1 << 20), stopFd);
    }
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mRequests.push_back(request);
    }
    size_t sent = 0;
    while (sent < mAnswer.size()) {
      ssize_t n = send(fd.get(), mAnswer.data() + sent, mAnswer.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += (size_t)n;
    }
    // The client sees the end of the answer, and anything it sends after it is recorded.
    if (mEnding == kEnds) shutdown(fd.get(), SHUT_WR);
    std::string rest = readUpTo(fd.get(), std::string::npos, stopFd);
    std::lock_guard<std::mutex> lock(mMutex);
    mRequests.back() += rest;
    ++mServed;
  }
}

ServiceProcess::ServiceProcess(const std::vector<std::string> &args) {
  ProgramRun run;
  run.program = staged_program("tqzel-sim");
  run.args = args;
  const int mode = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  OwnedFd out(open(mDir.file("out").c_str(), mode, 0644));
  OwnedFd err(open(mDir.file("log").c_str(), mode, 0644));
  ChildStreams streams;
  streams.out = out.get();
  streams.err = err.get();
  mPid = spawn_program(run, streams);
  const std::string marker = "tqzel-sim: listening on ";
  wait_until(
      [&] {
        std::string text = log();
        size_t at = text.find(marker);
        size_t end = text.find('\n', at);
        if (at == std::string::npos || end == std::string::npos) {
          if (waitpid(mPid, nullptr, WNOHANG) != mPid) return false;
          mPid = -1;  // ended without listening
          return true;
        }
        mEndpoint = text.substr(at + marker.size(), end - at - marker.size());
        return true;
      },
      60);
}

ServiceProcess::~ServiceProcess() {
  if (mPid > 0) stop();
}

int ServiceProcess::port() const {
  size_t colon = mEndpoint.rfind(':');
  return colon == std::string::npos ? -1 : atoi(mEndpoint.c_str() + colon + 1);
}

int ServiceProcess::stop() {
  if (mPid <= 0) return -1;
  kill(mPid, SIGTERM);
  ProgramEnd end = wait_for_exit(mPid, 60);
  mPid = -1;
  return end.signal != 0 ? 128 + end.signal : end.exit_status;
}
