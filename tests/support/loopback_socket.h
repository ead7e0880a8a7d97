// Stream sockets on this machine only, for tests that play one end of a connection: TCP on
// 127.0.0.1, or a local socket at a path.
#ifndef TESTS_SUPPORT_LOOPBACK_SOCKET_H
#define TESTS_SUPPORT_LOOPBACK_SOCKET_H

#include <string>

#include "owned_fd.h"

// A socket listening on 127.0.0.1:`port` (0: a free port the system picks); invalid with errno
// set when it cannot be bound.
OwnedFd listen_loopback(int port);
// A socket listening at `path`; invalid with errno set when it cannot be bound.
OwnedFd listen_local(const std::string &path);
// A socket bound to 127.0.0.1:`port` (0: a free port) that does not listen: connections to its
// port are refused, and while it is held no other socket can take the port. Invalid with errno
// set when it cannot be bound.
OwnedFd bind_loopback(int port);
// The port a bound TCP socket has, or -1.
int bound_port(int fd);

// A socket connected to 127.0.0.1:`port` or to `path`; invalid with errno set when the connection
// is refused.
OwnedFd connect_loopback(int port);
OwnedFd connect_local(const std::string &path);

#endif  // TESTS_SUPPORT_LOOPBACK_SOCKET_H
