#include "server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <list>
#include <memory>
#include <thread>

#include "request.h"
#include "tuning_modules.h"

namespace {

constexpr unsigned int kMaxPayload = 64 * 1024;
constexpr size_t kSendChunk = 64 * 1024;

void logLine(const std::string &text) {
  fprintf(stderr, "tqzel-sim: %s\n", text.c_str());
}

std::string errnoText(const char *what) {
  return std::string(what) + ": " + strerror(errno);
}

// Waits until `fd` is ready for `events`, or the stop or `timeoutMs` (-1: none) comes first.
// Returns 1 when ready, 0 on the time-out, -1 on the stop.
int waitFor(int fd, short events, int stopFd, int timeoutMs) {
  struct pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, events, 0}};
  for (;;) {
    int n = poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    if (fds[0].revents != 0) return -1;
    return 1;
  }
}

// Moves exactly `len` bytes with `step(done)`, a non-blocking receive or send of what is left
// after the first `done`, waiting until `fd` is ready for `events` before each; false when the
// peer closes or fails, or the service stops, first.
template <typename Step>
bool transferFull(int fd, short events, size_t len, int stopFd, Step step) {
  size_t done = 0;
  while (done < len) {
    if (waitFor(fd, events, stopFd, -1) != 1) return false;
    ssize_t n = step(done);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

bool readFull(int fd, char *data, size_t len, int stopFd) {
  return transferFull(fd, POLLIN, len, stopFd,
                      [&](size_t done) { return recv(fd, data + done, len - done, MSG_DONTWAIT); });
}

bool sendFull(int fd, const char *data, size_t len, int stopFd) {
  return transferFull(fd, POLLOUT, len, stopFd, [&](size_t done) {
    return send(fd, data + done, len - done, MSG_DONTWAIT | MSG_NOSIGNAL);
  });
}

// Where the answer goes and how fast: all at once, or with `dripMs` > 0 one byte at a time, that
// far apart (the first without a wait), so that every byte is progress and a client's idle
// time-out restarts with each.
struct AnswerSender {
  int fd;
  int stopFd;
  long dripMs;
  bool started;
};

// False when the peer closes or the service stops first.
bool sendAnswerBytes(AnswerSender *to, const char *data, size_t len) {
  if (to->dripMs <= 0) return sendFull(to->fd, data, len, to->stopFd);
  for (size_t i = 0; i < len; ++i) {
    if (to->started && waitFor(-1, 0, to->stopFd, (int)to->dripMs) == -1) return false;
    to->started = true;
    if (!sendFull(to->fd, data + i, 1, to->stopFd)) return false;
  }
  return true;
}

// Sends `count` bytes of `text` repeated from its start.
bool sendRepeated(AnswerSender *to, const std::string &text, uint64_t count) {
  if (text.empty()) return count == 0;
  std::string block;
  while (block.size() < kSendChunk + text.size()) block += text;
  uint64_t sent = 0;
  while (sent < count) {
    size_t offset = (size_t)(sent % text.size());
    size_t n = (size_t)std::min<uint64_t>(kSendChunk, count - sent);
    if (!sendAnswerBytes(to, block.data() + offset, n)) return false;
    sent += n;
  }
  return true;
}

std::string describe(const DumpRequest &request) {
  if (!request.valid) return "invalid (" + request.error + ")";
  return "uri \"" + request.uri + "\", json " + (request.json.empty() ? "(empty)" : request.json);
}

void serveConnection(int fd, const ServiceOptions &options, int stopFd, unsigned int number) {
  const std::string tag = "connection " + std::to_string(number) + ": ";
  if (options.closeAtOnce) {
    logLine(tag + "closed at once");
    return;
  }
  uint32_t head[2];
  if (!readFull(fd, reinterpret_cast<char *>(head), sizeof(head), stopFd)) {
    logLine(tag + "closed before a request");
    return;
  }
  if (head[1] > kMaxPayload) {
    logLine(tag + "payload of " + std::to_string(head[1]) + " bytes refused");
    return;
  }
  std::string payload(head[1], '\0');
  if (!readFull(fd, &payload[0], payload.size(), stopFd)) {
    logLine(tag + "closed within the request");
    return;
  }
  DumpRequest request = decodeRequest(head[0], payload);
  logLine(tag + "request type " + std::to_string(head[0]) + ", " + std::to_string(head[1]) +
          " bytes: " + describe(request));

  if (options.neverAnswer) {
    logLine(tag + "not answering");
    char sink;
    while (readFull(fd, &sink, 1, stopFd)) {
    }
    return;
  }
  if (options.delayMs > 0 && waitFor(-1, 0, stopFd, (int)options.delayMs) == -1) return;

  std::string text = dumpFor(request);
  uint64_t size = options.size >= 0 ? (uint64_t)options.size : text.size();
  uint64_t count = options.sendOnly >= 0 ? std::min<uint64_t>(size, options.sendOnly) : size;
  uint32_t answer[2] = {number, (uint32_t)size};
  AnswerSender to = {fd, stopFd, options.dripMs, false};
  bool sent = sendAnswerBytes(&to, reinterpret_cast<const char *>(answer), sizeof(answer)) &&
              sendRepeated(&to, text, count);
  logLine(tag + "answer of " + std::to_string(size) + " bytes" +
          (count < size ? ", only " + std::to_string(count) + " sent" : "") +
          (sent ? "" : ", sending failed"));
}

struct Connection {
  std::thread thread;
  std::atomic<bool> done{false};
};

}  // namespace

Server::~Server() {
  if (mListenFd >= 0) close(mListenFd);
}

bool Server::listen(std::string *where, std::string *error) {
  if (!mOptions.socketPath.empty()) {
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (mOptions.socketPath.size() >= sizeof(address.sun_path)) {
      *error = "socket path too long: " + mOptions.socketPath;
      return false;
    }
    strcpy(address.sun_path, mOptions.socketPath.c_str());
    // A socket left behind by an earlier run is replaced; any other file is not touched.
    struct stat st;
    if (lstat(address.sun_path, &st) == 0 && S_ISSOCK(st.st_mode)) unlink(address.sun_path);
    mListenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (mListenFd < 0 || bind(mListenFd, (struct sockaddr *)&address, sizeof(address)) != 0) {
      *error = errnoText(mOptions.socketPath.c_str());
      return false;
    }
    *where = "local socket " + mOptions.socketPath;
  } else {
    mListenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons((uint16_t)mOptions.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (mListenFd < 0 || setsockopt(mListenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0 ||
        bind(mListenFd, (struct sockaddr *)&address, sizeof(address)) != 0) {
      *error = errnoText(("127.0.0.1:" + std::to_string(mOptions.port)).c_str());
      return false;
    }
    socklen_t length = sizeof(address);
    getsockname(mListenFd, (struct sockaddr *)&address, &length);
    *where = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  }
  if (::listen(mListenFd, 16) != 0) {
    *error = errnoText("listen");
    return false;
  }
  return true;
}

void Server::run(int stopFd) {
  std::list<Connection> connections;
  unsigned int accepted = 0;
  while (waitFor(mListenFd, POLLIN, stopFd, -1) == 1) {
    connections.remove_if([](Connection &c) {
      if (!c.done) return false;
      c.thread.join();
      return true;
    });
    int fd = accept4(mListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EINTR && errno != ECONNABORTED) logLine(errnoText("accept"));
      continue;
    }
    Connection &c = connections.emplace_back();
    unsigned int number = ++accepted;
    c.thread = std::thread([this, fd, stopFd, number, &c] {
      serveConnection(fd, mOptions, stopFd, number);
      close(fd);
      c.done = true;
    });
  }
  for (Connection &c : connections) c.thread.join();
  close(mListenFd);
  mListenFd = -1;
  if (!mOptions.socketPath.empty()) unlink(mOptions.socketPath.c_str());
}
