// What the quillox and tqzel-sim tests play on the far side: fake shell tools on PATH, the
// tuning service on a loopback port inside the test, and programs started in the background.
#ifndef TESTS_QUILLOX_SUPPORT_H
#define TESTS_QUILLOX_SUPPORT_H

#include <stdint.h>
#include <sys/types.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "program_runner.h"

// The port quillox always connects to. Tests that use it hold the CTest resource lock.
constexpr int kServicePort = 4894;

// A directory of fake `cat`, `free` and `strings` to put before the real ones on PATH. The fake
// cat reads kernel paths from a fake root inside the directory, so no real kernel file is read.
class FakeTools {
 public:
  FakeTools();
  // Content of the fake kernel file at the absolute `path`.
  void kernelFile(const std::string &path, const std::string &content) const;
  // Makes `free` print `text`.
  void freeOutput(const std::string &text) const;
  // Makes `strings` print `text` and log each call's arguments, one line per call, each
  // argument in brackets.
  void stringsOutput(const std::string &text) const;
  std::string stringsCalls() const { return mDir.read("strings.calls"); }
  // The search path with the fakes first.
  std::string searchPath() const;
  const ScratchDir &dir() const { return mDir; }

 private:
  void script(const std::string &name, const std::string &body) const;
  ScratchDir mDir;
};

// Everything read from `fd` until its end.
std::string readToEnd(int fd);

// "id, size" as the 8-byte head of a message.
std::string messageHead(uint32_t first, uint32_t second);

// The tuning service inside the test: listens on 127.0.0.1:`port`, records the bytes of each
// request (the 8-byte head and the announced payload) and answers with `answer`, then closes.
class TuningPeer {
 public:
  explicit TuningPeer(const std::string &answer, int port = kServicePort);
  ~TuningPeer();
  TuningPeer(const TuningPeer &) = delete;
  TuningPeer &operator=(const TuningPeer &) = delete;

  bool listening() const { return mListenFd >= 0; }
  std::string listenError() const { return mError; }
  std::vector<std::string> requests() const;

 private:
  void serve();
  std::string mAnswer;
  int mListenFd = -1;
  int mStopPipe[2] = {-1, -1};
  std::string mError;
  mutable std::mutex mMutex;
  std::vector<std::string> mRequests;
  std::thread mThread;
};

// Starts a staged program in the background (under the emulator on a cross build) with its
// standard output and error going to files. Returns its pid.
pid_t spawnProgram(const std::string &program, const std::vector<std::string> &args,
                   const std::map<std::string, std::string> &env, const std::string &outPath,
                   const std::string &errPath);
// Waits for `pid` at most `timeout_s` (then kills it). Returns its exit status, or 128 + the
// signal that ended it.
int waitProgram(pid_t pid, double timeout_s);

// The staged tqzel-sim running in the background; stopped by SIGTERM at destruction.
class ServiceProcess {
 public:
  explicit ServiceProcess(const std::vector<std::string> &args);
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess &) = delete;
  ServiceProcess &operator=(const ServiceProcess &) = delete;

  // Whether it said it listens; its endpoint as it said it ("tcp://127.0.0.1:N", ...).
  bool ready() const { return !mEndpoint.empty(); }
  const std::string &endpoint() const { return mEndpoint; }
  int port() const;
  std::string log() const { return mDir.read("log"); }
  pid_t pid() const { return mPid; }
  // Sends SIGTERM and returns the exit status as waitProgram does.
  int stop();

 private:
  ScratchDir mDir;
  pid_t mPid = -1;
  std::string mEndpoint;
};

#endif  // TESTS_QUILLOX_SUPPORT_H
