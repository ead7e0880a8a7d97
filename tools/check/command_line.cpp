#include "command_line.h"

#include <stdio.h>
#include <string.h>

const char usage_text[] =
    "usage: camtools-check [--json]\n"
    "       camtools-check --help | --version\n"
    "Checks whether this system is ready for warpbench and quillox: the DRM device, the FEC\n"
    "library libLenswarp.so, warpbench's data files, the tuning service and the terminal.\n"
    "Prints one line per check, with a hint for what failed.\n"
    "  --json     print the results as one JSON object on one line\n"
    "  --help     print this help\n"
    "  --version  print the version\n"
    "Exit status: 0 when every required check passed, 1 when one failed, 2 for a bad command "
    "line.\n";

CheckMode parse_command_line(int argc, char *const *argv) {
  bool json = false, help = false, version = false;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (strcmp(argv[i], "--help") == 0) {
      help = true;
    } else if (strcmp(argv[i], "--version") == 0) {
      version = true;
    } else {
      fprintf(stderr, "camtools-check: %s '%s'\n",
              argv[i][0] == '-' ? "unknown option" : "unexpected argument", argv[i]);
      return MODE_BAD_USAGE;
    }
  }
  if (help) return MODE_HELP;
  if (version) return MODE_VERSION;
  return json ? MODE_JSON : MODE_TEXT;
}
