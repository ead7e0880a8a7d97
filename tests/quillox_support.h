// What the quillox and tqzel-sim black-box tests play on the far side: the tuning service on a
// loopback port inside the test, and the staged tqzel-sim in the background. quillox is sent to
// them through QUILLOX_SERVICE.
#ifndef TESTS_QUILLOX_SUPPORT_H
#define TESTS_QUILLOX_SUPPORT_H

#include <sys/types.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "owned_fd.h"
#include "program_runner.h"
#include "scratch_dir.h"

// The port quillox connects to without QUILLOX_SERVICE. The one test that uses it holds the CTest
// resource lock.
constexpr int kDefaultServicePort = 4894;

// A run of the staged quillox with `args`, `env` added to the test's environment.
ProgramRun quilloxRun(const std::vector<std::string> &args,
                      const std::map<std::string, std::string> &env = {});
// That run, to its end.
ProgramResult runQuillox(const std::vector<std::string> &args,
                         const std::map<std::string, std::string> &env = {});

// The tuning service inside the test: listens on 127.0.0.1:`port` (0: a free one), records the
// bytes of each request (the 8-byte head and the announced payload), answers with `answer`, then
// ends its side of the connection (kEnds) or holds it open as a service that stalls (kHolds), and
// adds what else the client sends before it closes to the request's record.
class TuningPeer {
 public:
  enum Ending { kEnds, kHolds };
  explicit TuningPeer(const std::string &answer, Ending ending = kEnds, int port = 0);
  ~TuningPeer();
  TuningPeer(const TuningPeer &) = delete;
  TuningPeer &operator=(const TuningPeer &) = delete;

  bool listening() const { return mListenFd.valid(); }
  std::string listenError() const { return mError; }
  // Where it listens, as QUILLOX_SERVICE names it.
  std::string uri() const;
  std::vector<std::string> requests() const;
  // The number of connections that the client closed.
  size_t served() const;

 private:
  void serve();
  std::string mAnswer;
  Ending mEnding;
  OwnedFd mListenFd;
  Pipe mStop;
  std::string mError;
  mutable std::mutex mMutex;
  std::vector<std::string> mRequests;
  size_t mServed = 0;
  std::thread mThread;
};

// The staged tqzel-sim running in the background (under the emulator on a cross build), its
// output going to files; stopped by SIGTERM at destruction.
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
  // Sends SIGTERM and returns its exit status, or 128 + the signal that ended it.
  int stop();

 private:
  ScratchDir mDir;
  pid_t mPid = -1;
  std::string mEndpoint;
};

#endif  // TESTS_QUILLOX_SUPPORT_H
