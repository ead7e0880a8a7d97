#include "topng_command_line.h"

#include <getopt.h>

#include "tool_io.h"

namespace {

// The value of the option without a letter.
constexpr int kVersionOption = 256;

}  // namespace

const char topng_usage_text[] =
    "usage: nv12-topng [--frame K] [--scale N] WIDTH HEIGHT INPUT OUTPUT.png\n"
    "       nv12-topng --version\n"
    "  converts frame K (from 0, default 0) of INPUT, NV12 frames of WIDTHxHEIGHT\n"
    "  one after the other, to an RGB PNG, shrunk N times (box filter, default 1)\n";

TopngCommand parse_topng_command_line(int argc, char **argv, TopngSettings *settings) {
  static const struct option kOptions[] = {{"frame", required_argument, nullptr, 'f'},
                                           {"scale", required_argument, nullptr, 's'},
                                           {"help", no_argument, nullptr, 'h'},
                                           {"version", no_argument, nullptr, kVersionOption},
                                           {nullptr, 0, nullptr, 0}};
  TopngSettings &s = *settings;
  for (int opt; (opt = getopt_long(argc, argv, "f:s:h", kOptions, nullptr)) != -1;) {
    switch (opt) {
      case 'f':
        if (!parse_number(optarg, 0, 1L << 30, &s.frame)) return TOPNG_BAD_USAGE;
        break;
      case 's':
        if (!parse_number(optarg, 1, 64, &s.scale)) return TOPNG_BAD_USAGE;
        break;
      case kVersionOption:
        return TOPNG_VERSION;
      default:
        return TOPNG_BAD_USAGE;
    }
  }
  if (argc - optind != 4 ||
      !parse_picture_size(argv[optind], argv[optind + 1], 16384, &s.width, &s.height)) {
    return TOPNG_BAD_USAGE;
  }
  s.input = argv[optind + 2];
  s.output = argv[optind + 3];
  return TOPNG_CONVERT;
}
