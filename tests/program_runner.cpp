#include "program_runner.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char **environ;

namespace {

double now_s() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

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

std::vector<char *> c_strings(std::vector<std::string> &strings) {
  std::vector<char *> p;
  for (std::string &s : strings) p.push_back(&s[0]);
  p.push_back(nullptr);
  return p;
}

ProgramResult run_program(const ProgramRun &run) {
  Command command = command_for(run);
  std::vector<char *> argv = c_strings(command.argv);
  std::vector<char *> envp = c_strings(command.env);

  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // no stray run outlives a test that was killed
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    if (!run.cwd.empty() && chdir(run.cwd.c_str()) != 0) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  ProgramResult result;
  bool out_open = true, err_open = true;
  std::thread reader([&] {
    while (out_open || err_open) {
      struct pollfd fds[2] = {{out_open ? out_pipe[0] : -1, POLLIN, 0},
                              {err_open ? err_pipe[0] : -1, POLLIN, 0}};
      if (poll(fds, 2, 100) <= 0) continue;
      if (fds[0].revents != 0) drain(out_pipe[0], &result.out, &out_open);
      if (fds[1].revents != 0) drain(err_pipe[0], &result.err, &err_open);
    }
  });
  if (run.while_running) run.while_running(pid);
  const double deadline = now_s() + run.timeout_s;
  int status = 0;
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (now_s() > deadline) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(2000);
  }
  reader.join();
  close(out_pipe[0]);
  close(err_pipe[0]);
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

std::string stage_dir() {
  const char *dir = getenv("STAGE_DIR");
  if (dir == nullptr) throw std::runtime_error("STAGE_DIR is not set; run the tests with ctest");
  return dir;
}

std::string staged_program(const std::string &name) {
  return stage_dir() + "/bin/" + name;
}

ScratchDir::ScratchDir() {
  char tmpl[] = "/tmp/blackbox.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp failed");
  mPath = tmpl;
}

ScratchDir::~ScratchDir() {
  std::string cmd = "rm -rf '" + mPath + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", mPath.c_str());
}

void ScratchDir::write(const std::string &name, const std::string &bytes) const {
  std::ofstream f(file(name), std::ios::binary);
  f.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string ScratchDir::read(const std::string &name) const {
  std::ifstream f(file(name), std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool wait_until(const std::function<bool()> &predicate, double timeout_s) {
  const double deadline = now_s() + timeout_s;
  while (now_s() < deadline) {
    if (predicate()) return true;
    usleep(20000);
  }
  return predicate();
}
