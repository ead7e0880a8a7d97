#include "shell_command.h"

#include <stdio.h>

int executeCMD(const char *cmd, std::string &output, bool all) {
  char line[4096] = {};
  FILE *pipe = popen(cmd, "r");
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
