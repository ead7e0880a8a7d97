#include "fd_write.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "owned_fd.h"

namespace {

TEST(WriteFully, CountZeroIsTrueWithoutAWrite) {
  EXPECT_TRUE(WriteFully(-1, "x", 0));
  EXPECT_TRUE(WriteStringToFd("", -1));
}

TEST(WriteFully, WritesEverythingThroughPartialWrites) {
  Pipe pipe = make_pipe();
  ASSERT_TRUE(pipe.read_end.valid());
  // Larger than a pipe holds, so the writes come back partial while the reader drains.
  std::string data(1 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = (char)(i * 7);
  std::string got;
  std::thread reader([&] { got = readToEnd(pipe.read_end.get()); });
  EXPECT_TRUE(WriteFully(pipe.write_end.get(), data.data(), (unsigned int)data.size()));
  EXPECT_TRUE(WriteStringToFd("tail", pipe.write_end.get()));
  pipe.write_end.reset();
  reader.join();
  EXPECT_EQ(data + "tail", got);
}

TEST(WriteFully, OtherErrorsAreFalse) {
  Pipe pipe = make_pipe();
  ASSERT_TRUE(pipe.read_end.valid());
  errno = 0;
  EXPECT_FALSE(WriteFully(pipe.read_end.get(), "abc", 3));
  EXPECT_EQ(EBADF, errno);
  EXPECT_FALSE(WriteStringToFd("abc", pipe.read_end.get()));
}

std::atomic<int> sSignals{0};
void countSignal(int) {
  ++sSignals;
}

TEST(WriteFully, AnInterruptedWriteIsRepeated) {
  struct sigaction action = {}, old = {};
  action.sa_handler = countSignal;  // no SA_RESTART: the blocked write fails with EINTR
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(0, sigaction(SIGUSR1, &action, &old));

  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  // Fill the pipe, so the next write blocks before it moves a byte.
  fcntl(fds[1], F_SETFL, O_NONBLOCK);
  std::string filled;
  char chunk[4096] = {};
  ssize_t n;
  while ((n = write(fds[1], chunk, sizeof(chunk))) > 0) filled.append(chunk, (size_t)n);
  fcntl(fds[1], F_SETFL, 0);

  pthread_t writer = pthread_self();
  std::string got;
  std::thread helper([&] {
    usleep(200 * 1000);
    pthread_kill(writer, SIGUSR1);
    usleep(200 * 1000);
    got = readToEnd(fds[0]);
  });
  bool written = WriteFully(fds[1], "after the signal", 16);
  close(fds[1]);
  helper.join();
  close(fds[0]);
  sigaction(SIGUSR1, &old, nullptr);

  EXPECT_TRUE(written);
  EXPECT_EQ(1, sSignals.load());
  EXPECT_EQ(filled + "after the signal", got);
}

}  // namespace
