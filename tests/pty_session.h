// A program run on a pseudo-terminal, as a user at a keyboard would run it: keys go to its
// standard input, its standard output is read from the terminal, its standard error from a pipe.
#ifndef TESTS_PTY_SESSION_H
#define TESTS_PTY_SESSION_H

#include <sys/types.h>
#include <termios.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "owned_fd.h"
#include "program_runner.h"

class PtySession {
 public:
  explicit PtySession(const ProgramRun &run);
  ~PtySession();  // kills the program if it still runs
  PtySession(const PtySession &) = delete;
  PtySession &operator=(const PtySession &) = delete;

  void send(const std::string &keys);
  // Standard output so far, with the terminal's carriage returns removed.
  std::string output();
  std::string errors();
  // Waits until standard output holds `text` `count` times; returns whether it did in time.
  bool wait_for_output(const std::string &text, double timeout_s, size_t count = 1);
  // The terminal's attributes as the program sees them.
  struct termios terminal() const;
  pid_t pid() const { return mPid; }
  bool running();
  // Waits for the program to end and for the end of both its streams, and returns what it
  // printed and how it ended; timed_out when either did not come within `timeout_s`.
  ProgramResult wait(double timeout_s);

 private:
  void read_loop();

  pid_t mPid = -1;
  OwnedFd mMaster;
  OwnedFd mErrPipe;
  bool mReaped = false;
  ProgramEnd mEnd;
  std::mutex mLock;
  std::condition_variable mChanged;  // more output, or the end of a stream
  std::string mOut, mErr;
  bool mOutEnded = false, mErrEnded = false;
  bool mStopReading = false;
  std::thread mReader;
};

#endif  // TESTS_PTY_SESSION_H
