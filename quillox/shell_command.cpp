#include "shell_command.h"

#include <signal.h>
#include <stdio.h>

int executeCMD(const char *cmd, std::string &output, bool all) {
  char line[4096] = {};
  // An ignored signal stays ignored across exec: with quillox's SIGPIPE setting, a command whose
  // output is no longer read would complain of a broken pipe instead of ending.
  struct sigaction standard = {};
  struct sigaction saved = {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(SIGPIPE, &standard, &saved);
  FILE *pipe = popen(cmd, "r");
  sigaction(SIGPIPE, &saved, nullptr);
  if (pipe == nullptr) return 0;
  int count = 0;
  while (fgets(line, sizeof(line), pipe) != nullptr) {
    output += line;
    ++count;
    if (!all) break;
  }
  pclose(pipe);
  return count;
}

std::string shellQuote(const std::string &text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += "'";
  return quoted;
}
