// nv12-topng: converts an NV12 frame (or the k-th frame of a file of concatenated frames, as
// warpbench --stream-to writes them) to an RGB PNG that any viewer opens.
#include <getopt.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "camtools_version.h"
#include "frame_file.h"
#include "tool_io.h"
#include "tool_png.h"

namespace {

// The value of the option without a letter.
constexpr int kVersionOption = 256;

int usage() {
  fprintf(stderr,
          "usage: nv12-topng [--frame K] [--scale N] WIDTH HEIGHT INPUT OUTPUT.png\n"
          "       nv12-topng --version\n"
          "  converts frame K (from 0, default 0) of INPUT, NV12 frames of WIDTHxHEIGHT\n"
          "  one after the other, to an RGB PNG, shrunk N times (box filter, default 1)\n");
  return 2;
}

uint8_t clamp_byte(double v) {
  return (uint8_t)std::min(255.0, std::max(0.0, std::round(v)));
}

// BT.601, limited range: what camera pipelines put in NV12.
void to_rgb(int y, int u, int v, double *rgb) {
  const double c = 1.164 * (y - 16), d = u - 128, e = v - 128;
  rgb[0] = c + 1.596 * e;
  rgb[1] = c - 0.392 * d - 0.813 * e;
  rgb[2] = c + 2.017 * d;
}

}  // namespace

int main(int argc, char **argv) {
  static const struct option kOptions[] = {{"frame", required_argument, nullptr, 'f'},
                                           {"scale", required_argument, nullptr, 's'},
                                           {"help", no_argument, nullptr, 'h'},
                                           {"version", no_argument, nullptr, kVersionOption},
                                           {nullptr, 0, nullptr, 0}};
  long frame = 0, scale = 1;
  for (int opt; (opt = getopt_long(argc, argv, "f:s:h", kOptions, nullptr)) != -1;) {
    switch (opt) {
      case 'f':
        if (!parse_number(optarg, 0, 1L << 30, &frame)) return usage();
        break;
      case 's':
        if (!parse_number(optarg, 1, 64, &scale)) return usage();
        break;
      case kVersionOption:
        printf("nv12-topng %s\n", CAMTOOLS_VERSION);
        return 0;
      default:
        return usage();
    }
  }
  long width, height;
  if (argc - optind != 4 || !parse_number(argv[optind], 2, 16384, &width) ||
      !parse_number(argv[optind + 1], 2, 16384, &height) || width % 2 || height % 2) {
    return usage();
  }
  const char *input = argv[optind + 2], *output = argv[optind + 3];

  const size_t frame_bytes = (size_t)width * height * 3 / 2;
  std::unique_ptr<uint8_t[]> nv12;
  FrameRead read = read_frame("nv12-topng", input, frame, frame_bytes, &nv12);
  if (read.result != FRAME_READ) {
    // nv12-topng has always said of a frame it could not read that the file lacks it.
    if (read.result == FRAME_CANNOT_READ) read.result = FRAME_MISSING;
    say_frame_read_failure("nv12-topng", input, frame, frame_bytes, read);
    return 1;
  }

  const int w = (int)width, h = (int)height, s = (int)scale;
  const int out_w = std::max(1, w / s), out_h = std::max(1, h / s);
  std::unique_ptr<uint8_t[]> rgb =
      allocate_bytes("nv12-topng", (size_t)out_w * out_h * 3, "the RGB picture");
  if (!rgb) return 1;
  const uint8_t *uv = nv12.get() + (size_t)w * h;
  for (int oy = 0; oy < out_h; ++oy) {
    for (int ox = 0; ox < out_w; ++ox) {
      double sum[3] = {0, 0, 0};
      int n = 0;
      for (int y = oy * s; y < std::min(h, oy * s + s); ++y) {
        for (int x = ox * s; x < std::min(w, ox * s + s); ++x, ++n) {
          const uint8_t *c = uv + (size_t)(y / 2) * w + (x / 2) * 2;
          double px[3];
          to_rgb(nv12[(size_t)y * w + x], c[0], c[1], px);
          for (int k = 0; k < 3; ++k) sum[k] += px[k];
        }
      }
      for (int k = 0; k < 3; ++k) rgb[((size_t)oy * out_w + ox) * 3 + k] = clamp_byte(sum[k] / n);
    }
  }
  return write_rgb_png("nv12-topng", output, out_w, out_h, rgb.get()) ? 0 : 1;
}
