// Starting a program from a test: arguments and environment in, standard output, standard error
// and the way it ended out. On a cross build it runs under the emulator named by TEST_EMULATOR.
#ifndef TESTS_SUPPORT_PROGRAM_RUNNER_H
#define TESTS_SUPPORT_PROGRAM_RUNNER_H

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct ProgramRun {
  std::string program;
  std::vector<std::string> args;
  std::map<std::string, std::string> env;  // added to (or replacing) the test's environment
  std::string cwd;
  double timeout_s = 60;
  bool native = false;              // a host program (a script) even on a cross build
  std::string stdout_to;            // a file for standard output instead of capturing it
  bool stdout_appends = false;      // stdout_to is opened to append (as `>>`), not truncated
  std::vector<int> closed_streams;  // standard streams (0, 1, 2) the program starts without
  int stdin_fd = -1;  // a descriptor to hand over as standard input (it stays the caller's)
  // RLIMIT_FSIZE in bytes (-1: the test's own), with SIGXFSZ ignored, so that a write past it
  // fails with EFBIG as on a full disk.
  long long file_size_limit = -1;
  // When not -1, the user and group it runs as, without supplementary groups: a test run as root
  // plays a user whom permissions refuse. The start fails (status 126) when they cannot be taken.
  uid_t uid = (uid_t)-1;
  gid_t gid = (gid_t)-1;
  // Called once the process runs, with its pid, on the test's thread; the output is drained
  // concurrently so the program never blocks on a full pipe.
  std::function<void(pid_t)> while_running;
};

// How a program ended.
struct ProgramEnd {
  int exit_status = -1;  // when it exited
  int signal = 0;        // when a signal ended it
  bool timed_out = false;
};

struct ProgramResult : ProgramEnd {
  std::string out;
  std::string err;
};

// The descriptors a started program gets as standard input, output and error (-1: /dev/null).
// With `terminal`, `in` becomes the controlling terminal of a session of its own.
struct ChildStreams {
  int in = -1;
  int out = -1;
  int err = -1;
  bool terminal = false;
};

// Starts `run` in the background with `streams`; its pid, or -1 when fork fails. On a cross build
// the emulator runs it, and a LD_PRELOAD in `run.env` goes to the emulated program rather than to
// the emulator. The program is killed if the thread that started it ends first.
pid_t spawn_program(const ProgramRun &run, const ChildStreams &streams);

// Waits for `pid` to end, at most `timeout_s` (then kills it and says so).
ProgramEnd wait_for_exit(pid_t pid, double timeout_s);
// The ending that a waitpid status describes.
ProgramEnd program_end(int status);

// Runs `run` to its end with its output captured.
ProgramResult run_program(const ProgramRun &run);

// The emulator command of a cross build, as one string ("" on a native build).
std::string emulator_command();

#endif  // TESTS_SUPPORT_PROGRAM_RUNNER_H
