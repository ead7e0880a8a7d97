#include "loopback_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

struct Address {
  struct sockaddr_storage storage = {};
  socklen_t length = 0;
  int family() const { return storage.ss_family; }
  const struct sockaddr *get() const { return (const struct sockaddr *)&storage; }
};

Address loopback(int port) {
  Address a;
  auto *in = (struct sockaddr_in *)&a.storage;
  in->sin_family = AF_INET;
  in->sin_port = htons((uint16_t)port);
  in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.length = sizeof(*in);
  return a;
}

Address local(const std::string &path) {
  Address a;
  auto *un = (struct sockaddr_un *)&a.storage;
  un->sun_family = AF_UNIX;
  snprintf(un->sun_path, sizeof(un->sun_path), "%s", path.c_str());
  a.length = sizeof(*un);
  return a;
}

OwnedFd listening(const Address &address) {
  OwnedFd fd(socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return fd;
  int on = 1;
  if (address.family() == AF_INET) setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  if (bind(fd.get(), address.get(), address.length) != 0 || listen(fd.get(), 8) != 0) {
    int err = errno;
    fd.reset();
    errno = err;
  }
  return fd;
}

OwnedFd connected(const Address &address) {
  OwnedFd fd(socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.valid() && connect(fd.get(), address.get(), address.length) != 0) {
    int err = errno;
    fd.reset();
    errno = err;
  }
  return fd;
}

}  // namespace

OwnedFd listen_loopback(int port) {
  return listening(loopback(port));
}

OwnedFd listen_local(const std::string &path) {
  return listening(local(path));
}

int bound_port(int fd) {
  struct sockaddr_in address = {};
  socklen_t length = sizeof(address);
  if (getsockname(fd, (struct sockaddr *)&address, &length) != 0) return -1;
  return ntohs(address.sin_port);
}

OwnedFd connect_loopback(int port) {
  return connected(loopback(port));
}

OwnedFd connect_local(const std::string &path) {
  return connected(local(path));
}
