#include "quillox_support.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

extern char **environ;

FakeTools::FakeTools() {
  mkdir(mDir.file("bin").c_str(), 0755);
  mkdir(mDir.file("root").c_str(), 0755);
  script("cat", "exec /bin/cat " + mDir.file("root") + "\"$1\"\n");
}

void FakeTools::script(const std::string &name, const std::string &body) const {
  std::string path = "bin/" + name;
  mDir.write(path, "#!/bin/sh\n" + body);
  chmod(mDir.file(path).c_str(), 0755);
}

void FakeTools::kernelFile(const std::string &path, const std::string &content) const {
  std::string dir = mDir.file("root") + path.substr(0, path.rfind('/'));
  std::string cmd = "mkdir -p '" + dir + "'";
  if (system(cmd.c_str()) != 0) return;
  mDir.write("root" + path, content);
}

void FakeTools::freeOutput(const std::string &text) const {
  mDir.write("free.out", text);
  script("free", "exec /bin/cat " + mDir.file("free.out") + "\n");
}

void FakeTools::stringsOutput(const std::string &text) const {
  mDir.write("strings.out", text);
  script("strings", "for a in \"$@\"; do printf '[%s]' \"$a\"; done >> " +
                        mDir.file("strings.calls") + "\necho >> " + mDir.file("strings.calls") +
                        "\nexec /bin/cat " + mDir.file("strings.out") + "\n");
}

std::string FakeTools::searchPath() const {
  const char *path = getenv("PATH");
  return mDir.file("bin") + ":" + (path != nullptr ? path : "/usr/bin:/bin");
}

std::string readToEnd(int fd) {
  std::string out;
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof(buf))) > 0) out.append(buf, (size_t)n);
  return out;
}

std::string messageHead(uint32_t first, uint32_t second) {
  std::string bytes(8, '\0');
  memcpy(&bytes[0], &first, 4);
  memcpy(&bytes[4], &second, 4);
  return bytes;
}

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

TuningPeer::TuningPeer(const std::string &answer, int port) : mAnswer(answer) {
  if (pipe2(mStopPipe, O_CLOEXEC) != 0) {
    mError = strerror(errno);
    return;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons((uint16_t)port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, (struct sockaddr *)&address, sizeof(address)) != 0 || listen(fd, 8) != 0) {
    mError = "127.0.0.1:" + std::to_string(port) + ": " + strerror(errno);
    close(fd);
    return;
  }
  mListenFd = fd;
  mThread = std::thread([this] { serve(); });
}

TuningPeer::~TuningPeer() {
  if (mThread.joinable()) {
    char byte = 1;
    if (write(mStopPipe[1], &byte, 1) != 1) abort();
    mThread.join();
  }
  if (mListenFd >= 0) close(mListenFd);
  for (int fd : mStopPipe) {
    if (fd >= 0) close(fd);
  }
}

std::vector<std::string> TuningPeer::requests() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mRequests;
}

void TuningPeer::serve() {
  while (readable(mListenFd, mStopPipe[0], -1)) {
    int fd = accept4(mListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::string request = readUpTo(fd, 8, mStopPipe[0]);
    if (request.size() == 8) {
      uint32_t length;
      memcpy(&length, &request[4], 4);
      request += readUpTo(fd, std::min<uint32_t>(length, 1 << 20), mStopPipe[0]);
    }
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mRequests.push_back(request);
    }
    size_t sent = 0;
    while (sent < mAnswer.size()) {
      ssize_t n = send(fd, mAnswer.data() + sent, mAnswer.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += (size_t)n;
    }
    close(fd);
  }
}

pid_t spawnProgram(const std::string &program, const std::vector<std::string> &args,
                   const std::map<std::string, std::string> &env, const std::string &outPath,
                   const std::string &errPath) {
  std::vector<std::string> argv_s;
  if (const char *emu = getenv("TEST_EMULATOR")) {
    std::istringstream words(emu);
    for (std::string w; words >> w;) argv_s.push_back(w);
  }
  argv_s.push_back(program);
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<std::string> env_s;
  for (char **e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    if (env.count(entry.substr(0, entry.find('='))) == 0) env_s.push_back(entry);
  }
  for (const auto &kv : env) env_s.push_back(kv.first + "=" + kv.second);
  std::vector<char *> argv, envp;
  for (std::string &a : argv_s) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  for (std::string &e : env_s) envp.push_back(&e[0]);
  envp.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

int waitProgram(pid_t pid, double timeout_s) {
  int status = 0;
  bool done = wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeout_s);
  if (!done) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

ServiceProcess::ServiceProcess(const std::vector<std::string> &args) {
  mPid = spawnProgram(staged_program("tqzel-sim"), args, {}, mDir.file("out"), mDir.file("log"));
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
  int status = waitProgram(mPid, 60);
  mPid = -1;
  return status;
}
