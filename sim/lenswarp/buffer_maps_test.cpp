#include "buffer_maps.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

int make_buffer(size_t size, uint8_t value) {
  int fd = memfd_create("buffer-maps-test", MFD_CLOEXEC);
  EXPECT_GE(fd, 0);
  std::vector<uint8_t> bytes(size, value);
  EXPECT_EQ((ssize_t)size, write(fd, bytes.data(), size));
  return fd;
}

TEST(BufferMaps, MapsEachBufferOnceAndKnowsItByTheFileNotTheNumber) {
  lenswarp::BufferMaps maps;
  int fd = make_buffer(4096, 1);
  lenswarp::BufferView first, again;
  ASSERT_EQ(0, maps.get(fd, false, &first));
  ASSERT_EQ(0, maps.get(fd, false, &again));
  EXPECT_EQ(first.addr, again.addr);
  EXPECT_EQ(4096u, again.len);
  EXPECT_EQ(1, maps.held());
  lenswarp::BufferView writable;
  ASSERT_EQ(0, maps.get(fd, true, &writable));
  EXPECT_EQ(2, maps.held()) << "read-only and writable mappings are separate";
  close(fd);

  // The same number for another buffer, then for one of another length.
  for (size_t size : {size_t{4096}, size_t{8192}}) {
    int reused = make_buffer(size, 7);
    ASSERT_EQ(fd, reused);
    lenswarp::BufferView view;
    ASSERT_EQ(0, maps.get(reused, false, &view));
    EXPECT_EQ(size, view.len);
    EXPECT_EQ(7, view.addr[0]);
    close(reused);
  }
}

TEST(BufferMaps, HoldsAFixedNumberOfMappingsAndRefusesEmptyOrBadDescriptors) {
  lenswarp::BufferMaps maps;
  std::vector<int> fds;
  for (int i = 0; i < 12; ++i) {
    fds.push_back(make_buffer(4096, (uint8_t)i));
    lenswarp::BufferView view;
    ASSERT_EQ(0, maps.get(fds.back(), false, &view));
    EXPECT_EQ(i, view.addr[0]);
  }
  EXPECT_EQ(8, maps.held());
  lenswarp::BufferView view;
  ASSERT_EQ(0, maps.get(fds[0], false, &view)) << "an evicted buffer is mapped again";
  EXPECT_EQ(0, view.addr[0]);
  for (int fd : fds) close(fd);

  int empty = memfd_create("empty", MFD_CLOEXEC);
  EXPECT_EQ(EINVAL, maps.get(empty, false, &view));
  close(empty);
  EXPECT_EQ(EBADF, maps.get(-1, false, &view));

  // A descriptor longer than a 32-bit address space is refused rather than mapped cut short.
  if (sizeof(size_t) == 4) {
    int huge = memfd_create("huge", MFD_CLOEXEC);
    ASSERT_EQ(0, ftruncate(huge, (off_t)5 << 30));
    EXPECT_EQ(ENOMEM, maps.get(huge, false, &view));
    close(huge);
  }
}

}  // namespace
