#include "fd_write.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>

#include "monotonic_clock.h"
#include "owned_fd.h"

namespace {

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

// The scheduler state of one of this process's threads ('R', 'S', ...), from the kernel.
char threadState(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(stat, line);
  size_t end = line.rfind(") ");  // the name in brackets may hold anything
  return end == std::string::npos ? '?' : line[end + 2];
}

TEST(WriteFully, AnInterruptedWriteIsRepeated) {
  sSignals = 0;
  struct sigaction action = {}, old = {};
  action.sa_handler = countSignal;  // no SA_RESTART: the blocked write fails with EINTR
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(0, sigaction(SIGUSR1, &action, &old));

  // Fill the pipe, so the next write blocks before it moves a byte.
  Pipe pipe = make_pipe();
  ASSERT_TRUE(pipe.read_end.valid());
  fcntl(pipe.write_end.get(), F_SETFL, O_NONBLOCK);
  std::string filled;
  char chunk[4096] = {};
  ssize_t n;
  while ((n = write(pipe.write_end.get(), chunk, sizeof(chunk))) > 0)
    filled.append(chunk, (size_t)n);
  fcntl(pipe.write_end.get(), F_SETFL, 0);

  const pthread_t writer = pthread_self();
  const pid_t writerTid = (pid_t)syscall(SYS_gettid);
  std::atomic<bool> writing{false};
  bool blocked = false, interrupted = false;
  std::string got;
  std::thread helper([&] {
    // Signal only a writer that sleeps inside the write on the full pipe, and drain only after
    // the handler ran, so the write surely came back interrupted and had to be repeated.
    blocked = wait_until([&] { return writing && threadState(writerTid) == 'S'; }, 60);
    pthread_kill(writer, SIGUSR1);
    interrupted = wait_until([] { return sSignals == 1; }, 60);
    got = readToEnd(pipe.read_end.get());
  });
  writing = true;
  bool written = WriteFully(pipe.write_end.get(), "after the signal", 16);
  pipe.write_end.reset();
  helper.join();
  sigaction(SIGUSR1, &old, nullptr);

  EXPECT_TRUE(blocked) << "the writer never blocked in the write";
  EXPECT_TRUE(interrupted) << "the handler never ran";
  EXPECT_TRUE(written);
  EXPECT_EQ(1, sSignals.load());
  EXPECT_EQ(filled + "after the signal", got);
}

}  // namespace
