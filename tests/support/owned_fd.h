// File descriptors owned by a test: closed when their owner goes, so an early ASSERT leaks
// nothing, and read to their end.
#ifndef TESTS_SUPPORT_OWNED_FD_H
#define TESTS_SUPPORT_OWNED_FD_H

#include <fcntl.h>
#include <unistd.h>

#include <string>

class OwnedFd {
 public:
  explicit OwnedFd(int fd = -1) : mFd(fd) {}
  ~OwnedFd() { reset(); }
  OwnedFd(OwnedFd &&other) noexcept : mFd(other.release()) {}
  OwnedFd &operator=(OwnedFd &&other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  OwnedFd(const OwnedFd &) = delete;
  OwnedFd &operator=(const OwnedFd &) = delete;

  int get() const { return mFd; }
  bool valid() const { return mFd >= 0; }
  // Closes the descriptor held (if any) and holds `fd` instead.
  void reset(int fd = -1) {
    if (mFd >= 0) close(mFd);
    mFd = fd;
  }
  // Gives the descriptor up without closing it.
  int release() {
    const int fd = mFd;
    mFd = -1;
    return fd;
  }

 private:
  int mFd;
};

struct Pipe {
  OwnedFd read_end;
  OwnedFd write_end;
};
// A new pipe with `flags` (pipe2's); both ends invalid when it cannot be made.
Pipe make_pipe(int flags = O_CLOEXEC);

// Everything read from `fd` until its end (or a read error).
std::string readToEnd(int fd);

#endif  // TESTS_SUPPORT_OWNED_FD_H
