#include "dump_client.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>

DumpClient::DumpClient() : mSockFd(0), mRecvBuffer(new char[kRecvBufferSize]) {}

DumpClient::~DumpClient() {
  if (mSockFd != 0) close(mSockFd);
}

bool DumpClient::sockClientOpen(const char *uri) {
  char proto[1024], hostname[1024], path[1024];
  int port;
  urlSplit(proto, sizeof(proto), nullptr, 0, hostname, sizeof(hostname), &port, path, sizeof(path),
           uri);
  if (strcmp(proto, "tcp") == 0) {
    init(hostname, port);
  } else if (strcmp(proto, "domain") == 0) {
    init(path);
  }
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

bool DumpClient::init(const char *host, int port) {
  if (port <= 0 || port > 65535) {
    puts("Port missing in uri ");
    return false;
  }
  mSockFd = socket(AF_INET, SOCK_STREAM, 0);
  if (mSockFd == -1) {
    printf("%s: socket(AF_UNIX, SOCK_STREAM, 0) failed\n", "init");
    return false;
  }
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons((uint16_t)port);
  address.sin_addr.s_addr = inet_addr(host);
  if (connect(mSockFd, (struct sockaddr *)&address, sizeof(address)) != 0) {
    int error = errno;
    printf("connect failed, reason: %s \n", strerror(error));
    close(mSockFd);
    mSockFd = 0;
    return false;
  }
  return true;
}

bool DumpClient::init(const char *path) {
  mUnixPath = path;
  mSockFd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (mSockFd == -1) {
    printf("%s: socket(AF_UNIX, SOCK_STREAM, 0) failed \n", "init");
    return false;
  }
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  snprintf(address.sun_path, sizeof(address.sun_path), "%s", mUnixPath.c_str());
  socklen_t length = (socklen_t)(offsetof(struct sockaddr_un, sun_path) + strlen(address.sun_path));
  if (connect(mSockFd, (struct sockaddr *)&address, length) != 0) {
    printf("%s: connect failed \n", "init");
    close(mSockFd);
    mSockFd = 0;
    return false;
  }
  return true;
}

bool DumpClient::sendBuffer(const char *data, unsigned int len) {
  if (mSockFd == 0) {
    printf("%s: not initialized \n", "sendBuffer");
    return false;
  }
  while (len > 0) {
    ssize_t n = send(mSockFd, data, len, MSG_NOSIGNAL);
    if (n <= 0) break;
    data += n;
    len -= (unsigned int)n;
  }
  return len == 0;
}

bool DumpClient::sendMessage(unsigned int type, const char *data, unsigned int len) {
  return sendBuffer(reinterpret_cast<const char *>(&type), sizeof(type)) &&
         sendBuffer(reinterpret_cast<const char *>(&len), sizeof(len)) && sendBuffer(data, len);
}

bool DumpClient::sendDump(unsigned int type, const char *data, unsigned int len) {
  if (mSockFd == 0) {
    printf("%s: not initialized \n", "sendDump");
    return false;
  }
  if (!sendMessage(type, data, len)) {
    printf("%s: send_message failed\n", "sendDump");
    return false;
  }
  return true;
}

bool DumpClient::receiveBuffer(int fd, char *data, unsigned int len) {
  while (len > 0) {
    ssize_t n = recv(fd, data, len, 0);
    if (n <= 0) break;
    data += n;
    len -= (unsigned int)n;
  }
  return len == 0;
}

bool DumpClient::receiveMessage(int fd, unsigned int &id, unsigned int &size) {
  if (!receiveBuffer(fd, reinterpret_cast<char *>(&id), sizeof(id)) ||
      !receiveBuffer(fd, reinterpret_cast<char *>(&size), sizeof(size))) {
    return false;
  }
  if (size > kRecvBufferSize) puts("Received message size exceeds reception buffer size! ");
  return true;
}

bool DumpClient::receiveDumpMessage(unsigned int &id, unsigned int &size) {
  if (mSockFd == -1) {
    printf("%s: socket failed \n", "receiveDumpMessage");
    return false;
  }
  return receiveMessage(mSockFd, id, size);
}

bool DumpClient::receiveDump(char *data, unsigned int len) {
  if (mSockFd == -1) {
    printf("%s: socket failed \n", "receiveDump");
    return false;
  }
  return receiveBuffer(mSockFd, data, len);
}
