#include "dump_client.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "string_format.h"
#include "whole_transfer.h"

DumpClient::DumpClient() : mSockFd(0), mRecvBuffer(new char[kRecvBufferSize]) {}

DumpClient::~DumpClient() {
  closeSocket();
}

bool DumpClient::connectTo(const char *uri) {
  char proto[1024], hostname[1024];
  // The path whole, however long, so that a refusal names its true length.
  std::vector<char> path(strlen(uri) + 1);
  int port;
  urlSplit(proto, sizeof(proto), nullptr, 0, hostname, sizeof(hostname), &port, path.data(),
           (int)path.size(), uri);
  if (strcmp(proto, "tcp") == 0) return init(hostname, port);
  if (strcmp(proto, "domain") == 0) return init(path.data());
  return fail(kNoProtocol, 0);
}

bool DumpClient::sockClientOpen(const char *uri) {
  connectTo(uri);
  return true;
}

int DumpClient::strlcpy(char *dst, const char *src, int size) {
  int length = (int)strlen(src);
  if (size <= 0) return length;
  int n = std::min(length, size - 1);
  memcpy(dst, src, (size_t)n);
  dst[n] = '\0';
  return length;
}

void DumpClient::urlSplit(char *proto, int protoSize, char *authorization, int authorizationSize,
                          char *hostname, int hostnameSize, int *port, char *path, int pathSize,
                          const char *uri) {
  if (port != nullptr) *port = -1;
  if (protoSize > 0) proto[0] = '\0';
  if (authorization != nullptr && authorizationSize > 0) authorization[0] = '\0';
  if (hostnameSize > 0) hostname[0] = '\0';
  if (pathSize > 0) path[0] = '\0';

  const char *colon = strchr(uri, ':');
  if (colon == nullptr) {
    strlcpy(path, uri, pathSize);
    return;
  }
  strlcpy(proto, uri, std::min((int)(colon - uri) + 1, protoSize));

  const char *p = colon + 1;
  if (*p == '/') ++p;
  if (*p == '/') ++p;
  const char *slash = strchr(p, '/');
  const char *query = strchr(p, '?');
  const char *authorityEnd;
  if (slash != nullptr && query != nullptr) {
    authorityEnd = std::min(slash, query);
  } else if (slash != nullptr) {
    authorityEnd = slash;
  } else if (query != nullptr) {
    authorityEnd = query;
  } else {
    authorityEnd = p + strlen(p);
  }
  if (slash != nullptr || query != nullptr) strlcpy(path, authorityEnd, pathSize);
  if (authorityEnd == p) return;

  // Everything before the last '@' of the authority is the authorization.
  const char *host = p;
  const char *at;
  while ((at = strchr(host, '@')) != nullptr && at < authorityEnd) {
    if (authorization != nullptr) {
      strlcpy(authorization, p, std::min((int)(at - p) + 1, authorizationSize));
    }
    host = at + 1;
  }

  const char *bracket = strchr(host, ']');
  if (*host == '[' && bracket != nullptr && bracket < authorityEnd) {
    strlcpy(hostname, host + 1, std::min((int)(bracket - host), hostnameSize));
    if (bracket[1] == ':' && port != nullptr) *port = atoi(bracket + 2);
    return;
  }
  const char *portColon = strchr(host, ':');
  if (portColon != nullptr && portColon < authorityEnd) {
    strlcpy(hostname, host, std::min((int)(portColon - host) + 1, hostnameSize));
    if (port != nullptr) *port = atoi(portColon + 1);
    return;
  }
  strlcpy(hostname, host, std::min((int)(authorityEnd - host) + 1, hostnameSize));
}

void DumpClient::say(const char *format, ...) const {
  if (mQuiet) return;
  va_list ap;
  va_start(ap, format);
  vprintf(format, ap);
  va_end(ap);
}

bool DumpClient::fail(Step step, int error, unsigned int done) {
  mFailure.step = step;
  mFailure.error = error;
  mFailure.done = done;
  return false;
}

bool DumpClient::makeSocket(int domain) {
  mSockFd = socket(domain, SOCK_STREAM, 0);
  if (mSockFd == -1) return fail(kSocket, errno);
  if (mInterruption != nullptr) mInterruption->socket = mSockFd;
  return true;
}

int DumpClient::connectSocket(const struct sockaddr *address, socklen_t length) {
  // With a time-out set, a stop and a continue interrupt a connect while the connection goes on
  // being made: it carries on, unless the interruption was meant to end it.
  while (connect(mSockFd, address, length) != 0) {
    if (errno == EISCONN) return 0;
    if (errno != EINTR || (mInterruption != nullptr && mInterruption->stop)) return -1;
  }
  return 0;
}

void DumpClient::closeSocket() {
  if (mSockFd == 0 || mSockFd == -1) return;
  // No longer for the handler to shut down: the number may soon name another descriptor.
  if (mInterruption != nullptr) mInterruption->socket = -1;
  close(mSockFd);
  mSockFd = 0;
}

bool DumpClient::applyIdleTimeout() {
  if (mIdleTimeout == 0) return true;
  struct timeval limit = {};
  limit.tv_sec = (time_t)mIdleTimeout;
  return setsockopt(mSockFd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit)) == 0 &&
         setsockopt(mSockFd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) == 0;
}

bool DumpClient::isTimeout(int error) const {
  // A connect that times out says EINPROGRESS (TCP) or EAGAIN (local socket).
  return mIdleTimeout > 0 && (error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS);
}

std::string DumpClient::noProgressText() const {
  return StringPrintf("no progress for %u s (QUILLOX_TIMEOUT)", mIdleTimeout);
}

std::string DumpClient::failureText(int error) const {
  if (!isTimeout(error)) return strerror(error);
  return "time-out: " + noProgressText();
}

bool DumpClient::inetAddress(const char *host, int port, struct sockaddr_in *address) {
  if (port <= 0 || port > 65535) return false;
  memset(address, 0, sizeof(*address));
  address->sin_family = AF_INET;
  address->sin_port = htons((uint16_t)port);
  address->sin_addr.s_addr = inet_addr(host);
  return true;
}

bool DumpClient::init(const char *host, int port) {
  struct sockaddr_in address;
  if (!inetAddress(host, port, &address)) {
    say("Port missing in uri \n");
    return fail(kInetAddress, 0);
  }
  if (mQuiet && address.sin_addr.s_addr == INADDR_NONE) return fail(kInetAddress, 0);
  if (!makeSocket(AF_INET)) {
    say("%s: socket(AF_UNIX, SOCK_STREAM, 0) failed\n", "init");
    return false;
  }
  if (!applyIdleTimeout() || connectSocket((struct sockaddr *)&address, sizeof(address)) != 0) {
    int error = errno;
    say("connect failed, reason: %s \n", failureText(error).c_str());
    closeSocket();
    return fail(kConnect, error);
  }
  return true;
}

bool DumpClient::init(const char *path) {
  mUnixPath = path;
  struct sockaddr_un address = {};
  // A path cut to fit would name another socket, perhaps one that listens.
  if (mUnixPath.size() >= sizeof(address.sun_path)) {
    say("%s: connect failed, reason: the socket path is %zu bytes long, over the limit of %zu \n",
        "init", mUnixPath.size(), sizeof(address.sun_path) - 1);
    return fail(kSocketPath, 0);
  }
  if (mQuiet && mUnixPath.empty()) return fail(kSocketPath, 0);
  if (!makeSocket(AF_UNIX)) {
    say("%s: socket(AF_UNIX, SOCK_STREAM, 0) failed \n", "init");
    return false;
  }
  address.sun_family = AF_UNIX;
  memcpy(address.sun_path, mUnixPath.c_str(), mUnixPath.size() + 1);
  socklen_t length = (socklen_t)(offsetof(struct sockaddr_un, sun_path) + mUnixPath.size());
  if (!applyIdleTimeout() || connectSocket((struct sockaddr *)&address, length) != 0) {
    int error = errno;
    if (isTimeout(error)) {
      say("%s: connect failed, reason: %s \n", "init", failureText(error).c_str());
    } else {
      say("%s: connect failed \n", "init");
    }
    closeSocket();
    return fail(kConnect, error);
  }
  return true;
}

bool DumpClient::sendBuffer(const char *data, unsigned int len) {
  if (mSockFd == 0) {
    say("%s: not initialized \n", "sendBuffer");
    return fail(kSend, ENOTCONN);
  }
  int error;
  const size_t sent = transferWhole(len, &error, [&](size_t done) {
    return send(mSockFd, data + done, len - done, MSG_NOSIGNAL);
  });
  if (sent == len) return true;
  if (isTimeout(error)) say("%s: %s\n", "sendBuffer", failureText(error).c_str());
  return fail(kSend, error);
}

bool DumpClient::sendMessage(unsigned int type, const char *data, unsigned int len) {
  return sendBuffer(reinterpret_cast<const char *>(&type), sizeof(type)) &&
         sendBuffer(reinterpret_cast<const char *>(&len), sizeof(len)) && sendBuffer(data, len);
}

bool DumpClient::sendDump(unsigned int type, const char *data, unsigned int len) {
  if (mSockFd == 0) {
    say("%s: not initialized \n", "sendDump");
    return fail(kSend, ENOTCONN);
  }
  if (!sendMessage(type, data, len)) {
    say("%s: send_message failed\n", "sendDump");
    return false;
  }
  return true;
}

bool DumpClient::receiveWhole(const char *caller, const char *what, char *data, unsigned int len) {
  int error;
  const unsigned int got = (unsigned int)transferWhole(
      len, &error, [&](size_t done) { return recv(mSockFd, data + done, len - done, 0); });
  if (got == len) return true;
  // Without this, a cut reception would look like an empty dump.
  say("%s: %u of %u %s received; %s\n", caller, got, len, what,
      error == 0 ? "connection closed" : failureText(error).c_str());
  return fail(kReceive, error, got);
}

bool DumpClient::receiveDumpMessage(unsigned int &id, unsigned int &size) {
  if (mSockFd == -1) {
    say("%s: socket failed \n", "receiveDumpMessage");
    return fail(kReceive, EBADF);
  }
  unsigned int head[2];
  if (!receiveWhole("receiveDumpMessage", "message head bytes", reinterpret_cast<char *>(head),
                    sizeof(head))) {
    return false;
  }
  id = head[0];
  size = head[1];
  if (size > kRecvBufferSize) say("Received message size exceeds reception buffer size! \n");
  return true;
}

bool DumpClient::receiveDump(char *data, unsigned int len) {
  if (mSockFd == -1) {
    say("%s: socket failed \n", "receiveDump");
    return fail(kReceive, EBADF);
  }
  return receiveWhole("receiveDump", "announced dump bytes", data, len);
}
