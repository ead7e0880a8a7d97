#include "loopback_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

struct sockaddr_in loopback(int port) {
  struct sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons((uint16_t)port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

struct sockaddr_un local(const std::string &path) {
  struct sockaddr_un a = {};
  a.sun_family = AF_UNIX;
  snprintf(a.sun_path, sizeof(a.sun_path), "%s", path.c_str());
  return a;
}

enum SocketRole { kListening, kBoundOnly, kConnected };

// A socket of the address's family in `role`; invalid, errno kept, when that fails.
template <typename Address>
OwnedFd socket_at(const Address &address, SocketRole role) {
  const auto *a = reinterpret_cast<const struct sockaddr *>(&address);
  OwnedFd fd(socket(a->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return fd;
  int on = 1;
  // Not for a socket that only holds its port: with SO_REUSEADDR on both, another socket could
  // bind the port too.
  if (role == kListening) setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  const bool ok = role == kConnected ? connect(fd.get(), a, sizeof(address)) == 0
                                     : bind(fd.get(), a, sizeof(address)) == 0 &&
                                           (role == kBoundOnly || listen(fd.get(), 8) == 0);
  if (!ok) {
    int err = errno;
    fd.reset();
    errno = err;
  }
  return fd;
}

}  // namespace

OwnedFd listen_loopback(int port) {
  return socket_at(loopback(port), kListening);
}

OwnedFd listen_local(const std::string &path) {
  return socket_at(local(path), kListening);
}

OwnedFd bind_loopback(int port) {
  return socket_at(loopback(port), kBoundOnly);
}

int bound_port(int fd) {
  struct sockaddr_in address = {};
  socklen_t length = sizeof(address);
  if (getsockname(fd, (struct sockaddr *)&address, &length) != 0) return -1;
  return ntohs(address.sin_port);
}

OwnedFd connect_loopback(int port) {
  return socket_at(loopback(port), kConnected);
}

OwnedFd connect_local(const std::string &path) {
  return socket_at(local(path), kConnected);
}
