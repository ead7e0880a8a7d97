// nv12-testpic: writes a synthetic NV12 test picture (a checkerboard with a grid over it), flat
// or as the fisheye lens of a calibration INI sees it, so a run can be tried without a camera.
#include <stdio.h>

#include "camtools_version.h"
#include "test_picture.h"
#include "testpic_command_line.h"

int main(int argc, char **argv) {
  TestpicSettings settings;
  switch (parse_testpic_command_line(argc, argv, &settings)) {
    case TESTPIC_VERSION:
      printf("nv12-testpic %s\n", CAMTOOLS_VERSION);
      return 0;
    case TESTPIC_BAD_USAGE:
      fputs(testpic_usage_text, stderr);
      return 2;
    case TESTPIC_WRITE:
      break;
  }
  return write_test_picture(settings) ? 0 : 1;
}
