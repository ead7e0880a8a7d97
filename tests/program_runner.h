// Runs an installed program as a black box: arguments and environment in, standard output,
// standard error and the way it ended out. On a cross build it runs under the emulator.
#ifndef TESTS_PROGRAM_RUNNER_H
#define TESTS_PROGRAM_RUNNER_H

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct ProgramResult {
  std::string out;
  std::string err;
  int exit_status = -1;  // when it exited
  int signal = 0;        // when a signal ended it
  bool timed_out = false;
};

struct ProgramRun {
  std::string program;  // a path under the staged install
  std::vector<std::string> args;
  std::map<std::string, std::string> env;  // added to (or replacing) the test's environment
  std::string cwd;
  double timeout_s = 60;
  bool native = false;  // a host program (a script) even on a cross build
  // Called once the process runs, with its pid, on the test's thread; the output is drained
  // concurrently so the program never blocks on a full pipe.
  std::function<void(pid_t)> while_running;
};

// The argument and environment vectors that start `run`: the emulator first on a cross build.
struct Command {
  std::vector<std::string> argv;
  std::vector<std::string> env;
};
Command command_for(const ProgramRun &run);

// Pointers into `strings`, null-terminated, for execve.
std::vector<char *> c_strings(std::vector<std::string> &strings);

// On a cross build the program runs under the emulator, and a LD_PRELOAD in `env` is handed to
// the emulated program rather than to the emulator.
ProgramResult run_program(const ProgramRun &run);

// The emulator command of a cross build, as one string ("" on a native build).
std::string emulator_command();

// The staged installation the black-box tests run (bin/, lib/).
std::string stage_dir();
std::string staged_program(const std::string &name);

// A fresh directory under /tmp, removed by the destructor.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string &path() const { return mPath; }
  std::string file(const std::string &name) const { return mPath + "/" + name; }
  void write(const std::string &name, const std::string &bytes) const;
  std::string read(const std::string &name) const;

 private:
  std::string mPath;
};

// Waits until `predicate` holds or `timeout_s` passes; returns whether it held.
bool wait_until(const std::function<bool()> &predicate, double timeout_s);

#endif  // TESTS_PROGRAM_RUNNER_H
