// camtools-check: is this board ready for warpbench and quillox?
#include <camtools_version.h>
#include <stdio.h>

#include "check_report.h"
#include "command_line.h"
#include "tool_streams.h"

int main(int argc, char *argv[]) {
  // Before anything is opened, so that neither the device nor a socket takes a standard stream's
  // number and receives the lines.
  if (!open_standard_streams()) return 1;
  const CheckMode mode = parse_command_line(argc, argv);
  switch (mode) {
    case MODE_HELP:
      fputs(usage_text, stdout);
      return 0;
    case MODE_VERSION:
      printf("camtools-check %s\n", CAMTOOLS_VERSION);
      return 0;
    case MODE_BAD_USAGE:
      fputs(usage_text, stderr);
      return 2;
    case MODE_JSON:
    case MODE_TEXT:
      break;
  }
  switch (run_checks(mode == MODE_JSON)) {
    case CHECKS_READY:
      return 0;
    case CHECKS_NOT_READY:
      return 1;
    case CHECKS_NOT_WRITTEN:
      break;
  }
  return 3;
}
