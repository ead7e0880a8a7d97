#include "program_runner.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>
#include <thread>

#include "monotonic_clock.h"
#include "owned_fd.h"

extern char **environ;

namespace {

std::vector<std::string> emulator_prefix() {
  std::vector<std::string> words;
  std::istringstream in(emulator_command());
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::vector<std::string> merged_environment(const std::map<std::string, std::string> &extra,
                                            bool emulated) {
  std::vector<std::string> env;
  for (char **e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (extra.count(name) == 0 && name != "TEST_EMULATOR") env.push_back(entry);
  }
  for (const auto &kv : extra) {
    if (emulated && kv.first == "LD_PRELOAD") continue;
    env.push_back(kv.first + "=" + kv.second);
  }
  return env;
}

struct Command {
  std::vector<std::string> argv;
  std::vector<std::string> env;
};

// The argument and environment vectors that start `run`.
Command command_for(const ProgramRun &run) {
  Command c;
  if (!run.native) c.argv = emulator_prefix();
  const bool emulated = !c.argv.empty();
  auto preload = run.env.find("LD_PRELOAD");
  if (emulated && preload != run.env.end()) {
    c.argv.push_back("-E");
    c.argv.push_back("LD_PRELOAD=" + preload->second);
  }
  c.env = merged_environment(run.env, emulated);
  c.argv.push_back(run.program);
  c.argv.insert(c.argv.end(), run.args.begin(), run.args.end());
  return c;
}

// Pointers into `strings`, null-terminated, for execve.
std::vector<char *> c_strings(std::vector<std::string> &strings) {
  std::vector<char *> p;
  for (std::string &s : strings) p.push_back(&s[0]);
  p.push_back(nullptr);
  return p;
}

// Between fork and exec: only async-signal-safe calls.
void become_program(const ProgramRun &run, const ChildStreams &streams, char **argv, char **envp) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // no stray run outlives a test that was killed
  if (streams.terminal) {
    setsid();
    ioctl(streams.in, TIOCSCTTY, 0);
  }
  const int wanted[3] = {streams.in, streams.out, streams.err};
  for (int target = 0; target < 3; ++target) {
    int fd = wanted[target] >= 0 ? wanted[target] : open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0 || dup2(fd, target) < 0) _exit(126);
  }
  for (int stream : run.closed_streams) close(stream);
  if (run.file_size_limit >= 0) {
    struct rlimit limit = {(rlim_t)run.file_size_limit, (rlim_t)run.file_size_limit};
    signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
  }
  if (!run.cwd.empty() && chdir(run.cwd.c_str()) != 0) _exit(126);
  // The group first: without root's rights it could no longer be changed. A change of user
  // clears the parent-death signal, which is set again.
  if (run.uid != (uid_t)-1) {
    if (setgroups(0, nullptr) != 0 || setgid(run.gid) != 0 || setuid(run.uid) != 0) _exit(126);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
  }
  execve(argv[0], argv, envp);
  _exit(127);
}

void drain(int fd, std::string *into, bool *open) {
  char buf[65536];
  ssize_t n = read(fd, buf, sizeof(buf));
  if (n > 0) {
    into->append(buf, (size_t)n);
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    *open = false;
  }
}

}  // namespace

std::string emulator_command() {
  const char *emu = getenv("TEST_EMULATOR");
  return emu == nullptr ? "" : emu;
}

pid_t spawn_program(const ProgramRun &run, const ChildStreams &streams) {
  Command command = command_for(run);
  std::vector<char *> argv = c_strings(command.argv);
  std::vector<char *> envp = c_strings(command.env);
  pid_t pid = fork();
  if (pid == 0) become_program(run, streams, argv.data(), envp.data());
  return pid;
}

ProgramEnd program_end(int status) {
  ProgramEnd end;
  if (WIFEXITED(status)) end.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  return end;
}

ProgramEnd wait_for_exit(pid_t pid, double timeout_s) {
  int status = 0;
  if (wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeout_s)) {
    return program_end(status);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  ProgramEnd end = program_end(status);
  end.timed_out = true;
  return end;
}

ProgramResult run_program(const ProgramRun &run) {
  Pipe out = make_pipe(), err = make_pipe();
  if (!out.read_end.valid() || !err.read_end.valid()) throw std::runtime_error("pipe failed");
  OwnedFd out_file;
  if (!run.stdout_to.empty()) {
    const int mode = run.stdout_appends ? O_APPEND : O_TRUNC;
    out_file.reset(open(run.stdout_to.c_str(), O_WRONLY | O_CREAT | mode | O_CLOEXEC, 0644));
    if (!out_file.valid()) throw std::runtime_error("cannot open " + run.stdout_to);
  }
  ChildStreams streams;
  streams.in = run.stdin_fd;
  streams.out = out_file.valid() ? out_file.get() : out.write_end.get();
  streams.err = err.write_end.get();
  pid_t pid = spawn_program(run, streams);
  if (pid < 0) throw std::runtime_error("fork failed");
  // Only the program holds the writing ends now, so its end is their end of file.
  out.write_end.reset();
  err.write_end.reset();
  out_file.reset();

  ProgramResult result;
  std::thread reader([&] {
    bool out_open = true, err_open = true;
    while (out_open || err_open) {
      struct pollfd fds[2] = {{out_open ? out.read_end.get() : -1, POLLIN, 0},
                              {err_open ? err.read_end.get() : -1, POLLIN, 0}};
      if (poll(fds, 2, -1) <= 0) continue;
      if (fds[0].revents != 0) drain(out.read_end.get(), &result.out, &out_open);
      if (fds[1].revents != 0) drain(err.read_end.get(), &result.err, &err_open);
    }
  });
  if (run.while_running) run.while_running(pid);
  static_cast<ProgramEnd &>(result) = wait_for_exit(pid, run.timeout_s);
  reader.join();
  return result;
}
