#include "testpic_command_line.h"

#include <getopt.h>

#include "tool_io.h"

namespace {

// The value of the option without a letter.
constexpr int kVersionOption = 256;

}  // namespace

const char testpic_usage_text[] =
    "usage: nv12-testpic [--calib-ini FILE [--samples N]] WIDTH HEIGHT OUTPUT\n"
    "       nv12-testpic --version\n"
    "  writes a WIDTHxHEIGHT NV12 picture (even sizes) to OUTPUT: the flat pattern, or\n"
    "  with --calib-ini the pattern as that lens sees it, each pixel averaged over\n"
    "  N x N points (default 4)\n";

TestpicCommand parse_testpic_command_line(int argc, char **argv, TestpicSettings *settings) {
  static const struct option kOptions[] = {{"calib-ini", required_argument, nullptr, 'c'},
                                           {"samples", required_argument, nullptr, 'n'},
                                           {"help", no_argument, nullptr, 'h'},
                                           {"version", no_argument, nullptr, kVersionOption},
                                           {nullptr, 0, nullptr, 0}};
  TestpicSettings &s = *settings;
  for (int opt; (opt = getopt_long(argc, argv, "c:n:h", kOptions, nullptr)) != -1;) {
    switch (opt) {
      case 'c':
        s.ini = optarg;
        break;
      case 'n':
        if (!parse_number(optarg, 1, 16, &s.samples)) return TESTPIC_BAD_USAGE;
        break;
      case kVersionOption:
        return TESTPIC_VERSION;
      default:
        return TESTPIC_BAD_USAGE;
    }
  }
  if (argc - optind != 3 ||
      !parse_picture_size(argv[optind], argv[optind + 1], 16384, &s.width, &s.height)) {
    return TESTPIC_BAD_USAGE;
  }
  s.output = argv[optind + 2];
  return TESTPIC_WRITE;
}
