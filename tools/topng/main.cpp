// nv12-topng: converts an NV12 frame (or the k-th frame of a file of concatenated frames, as
// warpbench --stream-to writes them) to an RGB PNG that any viewer opens.
#include <stdio.h>

#include "camtools_version.h"
#include "frame_to_png.h"
#include "topng_command_line.h"

int main(int argc, char **argv) {
  TopngSettings settings;
  switch (parse_topng_command_line(argc, argv, &settings)) {
    case TOPNG_VERSION:
      printf("nv12-topng %s\n", CAMTOOLS_VERSION);
      return 0;
    case TOPNG_BAD_USAGE:
      fputs(topng_usage_text, stderr);
      return 2;
    case TOPNG_CONVERT:
      break;
  }
  return convert_frame_to_png(settings) ? 0 : 1;
}
