#include <errno.h>
#include <unistd.h>

#include "checks.h"

CheckResult check_terminal() {
  if (isatty(STDIN_FILENO)) return {VERDICT_OK, "standard input is a terminal", ""};
  return {VERDICT_INFO, "standard input is not a terminal",
          "warpbench -t reads its keys from standard input: run it from a terminal (over ssh, "
          "with ssh -t)"};
}
