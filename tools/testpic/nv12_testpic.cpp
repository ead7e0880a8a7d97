// nv12-testpic: writes a synthetic NV12 test picture (a checkerboard with a grid over it), flat
// or as the fisheye lens of a calibration INI sees it, so a run can be tried without a camera.
#include <getopt.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <memory>

#include "calibration_ini.h"
#include "camtools_version.h"
#include "fisheye_model.h"
#include "fisheye_scene.h"
#include "tool_io.h"

namespace {

// The value of the option without a letter.
constexpr int kVersionOption = 256;

int usage() {
  fprintf(stderr,
          "usage: nv12-testpic [--calib-ini FILE [--samples N]] WIDTH HEIGHT OUTPUT\n"
          "       nv12-testpic --version\n"
          "  writes a WIDTHxHEIGHT NV12 picture (even sizes) to OUTPUT: the flat pattern, or\n"
          "  with --calib-ini the pattern as that lens sees it, each pixel averaged over\n"
          "  N x N points (default 4)\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  static const struct option kOptions[] = {{"calib-ini", required_argument, nullptr, 'c'},
                                           {"samples", required_argument, nullptr, 'n'},
                                           {"help", no_argument, nullptr, 'h'},
                                           {"version", no_argument, nullptr, kVersionOption},
                                           {nullptr, 0, nullptr, 0}};
  const char *ini = nullptr;
  long samples = 4;
  for (int opt; (opt = getopt_long(argc, argv, "c:n:h", kOptions, nullptr)) != -1;) {
    switch (opt) {
      case 'c':
        ini = optarg;
        break;
      case 'n':
        if (!parse_number(optarg, 1, 16, &samples)) return usage();
        break;
      case kVersionOption:
        printf("nv12-testpic %s\n", CAMTOOLS_VERSION);
        return 0;
      default:
        return usage();
    }
  }
  if (argc - optind != 3) return usage();
  long width, height;
  if (!parse_number(argv[optind], 2, 16384, &width) ||
      !parse_number(argv[optind + 1], 2, 16384, &height) || width % 2 || height % 2) {
    return usage();
  }
  const char *output = argv[optind + 2];

  FecOnlineConfig cfg = {};
  if (ini != nullptr) {
    int err = lenswarp::load_calibration_ini(ini, &cfg);
    if (err != 0) {
      fprintf(stderr, "nv12-testpic: cannot read %s: %s\n", ini, strerror(err));
      return 1;
    }
    if (lenswarp::check_online_config(cfg) != 0) {
      fprintf(stderr, "nv12-testpic: %s does not describe a lens the model accepts\n", ini);
      return 1;
    }
  }
  const size_t size = (size_t)width * height * 3 / 2;
  std::unique_ptr<uint8_t[]> pic = allocate_bytes("nv12-testpic", size, "the picture");
  if (!pic) return 1;
  if (ini != nullptr) {
    testpic::render_fisheye(cfg, (int)width, (int)height, (int)samples, pic.get());
  } else {
    testpic::render_flat((int)width, (int)height, pic.get());
  }
  return write_whole_file("nv12-testpic", output, pic.get(), size) ? 0 : 1;
}
