#include "compare_command_line.h"

#include <getopt.h>

#include <limits>

#include "tool_io.h"

namespace {

// The values of the options without a letter.
enum {
  kVersionOption = 256,
  kTestFrameOption,
  kRefFrameOption,
  kHeatmapOption,
};

bool parse_frame(const char *text, long *frame) {
  return parse_number(text, 0, std::numeric_limits<long>::max(), frame);
}

}  // namespace

const char compare_usage_text[] =
    "usage: fec-compare [--frame K] [--test-frame K] [--ref-frame K] [--max-diff N]\n"
    "                   [--heatmap FILE.png] WIDTH HEIGHT TEST REFERENCE\n"
    "       fec-compare --version\n"
    "  compares frame K (from 0, default 0) of TEST with that of REFERENCE, NV12 frames\n"
    "  of WIDTHxHEIGHT one after the other, plane by plane; exits with 0 when no sample\n"
    "  differs by more than N (default 0), 1 when one does, 2 for bad input\n";

CompareCommand parse_compare_command_line(int argc, char **argv, CompareSettings *settings) {
  static const struct option kOptions[] = {
      {"frame", required_argument, nullptr, 'f'},
      {"test-frame", required_argument, nullptr, kTestFrameOption},
      {"ref-frame", required_argument, nullptr, kRefFrameOption},
      {"max-diff", required_argument, nullptr, 'm'},
      {"heatmap", required_argument, nullptr, kHeatmapOption},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersionOption},
      {nullptr, 0, nullptr, 0}};
  CompareSettings &s = *settings;
  for (int opt; (opt = getopt_long(argc, argv, "f:m:h", kOptions, nullptr)) != -1;) {
    switch (opt) {
      case 'f':
        if (!parse_frame(optarg, &s.test_frame)) return COMPARE_BAD_USAGE;
        s.ref_frame = s.test_frame;
        break;
      case kTestFrameOption:
        if (!parse_frame(optarg, &s.test_frame)) return COMPARE_BAD_USAGE;
        break;
      case kRefFrameOption:
        if (!parse_frame(optarg, &s.ref_frame)) return COMPARE_BAD_USAGE;
        break;
      case 'm':
        if (!parse_number(optarg, 0, 255, &s.tolerance)) return COMPARE_BAD_USAGE;
        break;
      case kHeatmapOption:
        s.heatmap = optarg;
        break;
      case kVersionOption:
        return COMPARE_VERSION;
      default:
        return COMPARE_BAD_USAGE;
    }
  }
  // Up to INT_MAX: the heat map's rows are counted in ints, here and in libpng.
  if (argc - optind != 4 ||
      !parse_picture_size(argv[optind], argv[optind + 1], std::numeric_limits<int>::max(), &s.width,
                          &s.height)) {
    return COMPARE_BAD_USAGE;
  }
  s.test_path = argv[optind + 2];
  s.ref_path = argv[optind + 3];
  return COMPARE_FRAMES;
}
