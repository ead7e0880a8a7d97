// fec-compare: compares an NV12 frame with a reference frame, such as a frame the board's
// hardware corrected with the same frame corrected by the stand-in library, plane by plane,
// and says whether every sample lies within a tolerance.
#include <stdio.h>

#include "camtools_version.h"
#include "compare_command_line.h"
#include "frame_comparison.h"

int main(int argc, char **argv) {
  CompareSettings settings;
  switch (parse_compare_command_line(argc, argv, &settings)) {
    case COMPARE_VERSION:
      printf("fec-compare %s\n", CAMTOOLS_VERSION);
      return 0;
    case COMPARE_BAD_USAGE:
      fputs(compare_usage_text, stderr);
      return 2;
    case COMPARE_FRAMES:
      break;
  }
  switch (compare_frame_files(settings)) {
    case FRAMES_MATCH:
      return 0;
    case FRAMES_DIFFER:
      return 1;
    case COMPARE_BAD_INPUT:
      break;
  }
  return 2;
}
