#include "frame_comparison.h"

#include <inttypes.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <memory>

#include "frame_file.h"
#include "pixel_formats.h"
#include "tool_io.h"
#include "tool_png.h"

namespace {

// Reads frame `frame` of `path` into new room in `bytes`; false after the message that says
// why not.
bool read_compared_frame(const char *path, long frame, size_t frame_bytes,
                         std::unique_ptr<uint8_t[]> *bytes) {
  const FrameRead read = read_frame("fec-compare", path, frame, frame_bytes, bytes);
  say_frame_read_failure("fec-compare", path, frame, frame_bytes, read);
  return read.result == FRAME_READ;
}

// Where a plane's samples lie in an NV12 frame: Y whole, U and V interleaved at half size.
struct PlaneLayout {
  const char *name;
  bool chroma;
  size_t first;  // offset of the first sample within its plane
};
const PlaneLayout kPlanes[] = {{"Y", false, 0}, {"U", true, 0}, {"V", true, 1}};

struct PlaneStats {
  uint64_t samples = 0;
  uint64_t squared_error = 0;
  int max_diff = 0;
  size_t max_x = 0, max_y = 0;  // the first sample, in row order, with max_diff
  uint64_t beyond = 0;          // samples that differ by more than the tolerance
};

PlaneStats compare_plane(const uint8_t *test, const uint8_t *ref, size_t width, size_t height,
                         const PlaneLayout &plane, int tolerance) {
  const size_t base = (plane.chroma ? width * height : 0) + plane.first;
  const size_t step = plane.chroma ? 2 : 1;
  const size_t plane_w = plane.chroma ? width / 2 : width;
  const size_t plane_h = plane.chroma ? height / 2 : height;
  PlaneStats s;
  for (size_t y = 0; y < plane_h; ++y) {
    for (size_t x = 0; x < plane_w; ++x) {
      const size_t i = base + y * width + x * step;
      const int d = abs((int)test[i] - (int)ref[i]);
      s.squared_error += (uint64_t)(d * d);
      if (d > tolerance) ++s.beyond;
      if (d > s.max_diff) {
        s.max_diff = d;
        s.max_x = x;
        s.max_y = y;
      }
    }
  }
  s.samples = (uint64_t)plane_w * plane_h;
  return s;
}

// The heat map's colour ramp: black for no difference, then blue, cyan, green, yellow and red
// at these differences, linear between them, so that a difference of one stands out as well.
struct RampStop {
  int diff;
  uint8_t rgb[3];
};
const RampStop kRamp[] = {{1, {0, 0, 255}},
                          {4, {0, 255, 255}},
                          {16, {0, 255, 0}},
                          {64, {255, 255, 0}},
                          {255, {255, 0, 0}}};

void ramp_colour(int diff, uint8_t *rgb) {
  if (diff == 0) {
    rgb[0] = rgb[1] = rgb[2] = 0;
    return;
  }
  size_t k = 1;
  while (k + 1 < sizeof(kRamp) / sizeof(kRamp[0]) && diff > kRamp[k].diff) ++k;
  const RampStop &a = kRamp[k - 1], &b = kRamp[k];
  const double t = (double)(diff - a.diff) / (b.diff - a.diff);
  for (int c = 0; c < 3; ++c) rgb[c] = (uint8_t)lround(a.rgb[c] + t * (b.rgb[c] - a.rgb[c]));
}

// Each pixel's colour is its largest difference over its Y sample and its chroma pair. Null after
// the message that its room could not be allocated.
std::unique_ptr<uint8_t[]> heat_map(const uint8_t *test, const uint8_t *ref, size_t width,
                                    size_t height) {
  std::unique_ptr<uint8_t[]> rgb =
      allocate_bytes("fec-compare", width * height * 3, "the heat map");
  if (!rgb) return rgb;
  const size_t uv = width * height;
  for (size_t y = 0; y < height; ++y) {
    for (size_t x = 0; x < width; ++x) {
      const size_t i = y * width + x, c = uv + (y / 2) * width + (x / 2) * 2;
      int d = abs((int)test[i] - (int)ref[i]);
      for (size_t k = c; k < c + 2; ++k) {
        const int dc = abs((int)test[k] - (int)ref[k]);
        if (dc > d) d = dc;
      }
      ramp_colour(d, &rgb[i * 3]);
    }
  }
  return rgb;
}

void print_plane(const char *name, const PlaneStats &s, long tolerance) {
  char psnr[32] = "inf";
  if (s.squared_error != 0) {
    snprintf(psnr, sizeof(psnr), "%.2f",
             10 * log10(255.0 * 255.0 * (double)s.samples / (double)s.squared_error));
  }
  printf("%s: PSNR %s dB, max diff %d at (%zu, %zu), %" PRIu64 " samples beyond %ld\n", name, psnr,
         s.max_diff, s.max_x, s.max_y, s.beyond, tolerance);
}

}  // namespace

CompareOutcome compare_frame_files(const CompareSettings &settings) {
  const long width = settings.width, height = settings.height, tolerance = settings.tolerance;
  // The heat map takes three bytes a pixel, twice a frame's: when it fits, so does a frame.
  size_t pixels, heat_bytes;
  if (__builtin_mul_overflow((size_t)width, (size_t)height, &pixels) ||
      __builtin_mul_overflow(pixels, (size_t)3, &heat_bytes)) {
    fprintf(stderr, "fec-compare: frames of %ldx%ld are too large for this machine\n", width,
            height);
    return COMPARE_BAD_INPUT;
  }
  const size_t frame_bytes = (size_t)nv12_frame_bytes(width, height);

  std::unique_ptr<uint8_t[]> test, ref;
  if (!read_compared_frame(settings.test_path, settings.test_frame, frame_bytes, &test) ||
      !read_compared_frame(settings.ref_path, settings.ref_frame, frame_bytes, &ref)) {
    return COMPARE_BAD_INPUT;
  }
  if (settings.heatmap != nullptr) {
    const std::unique_ptr<uint8_t[]> rgb = heat_map(test.get(), ref.get(), width, height);
    if (!rgb ||
        !write_rgb_png("fec-compare", settings.heatmap, (int)width, (int)height, rgb.get())) {
      return COMPARE_BAD_INPUT;
    }
  }
  uint64_t samples = 0, beyond = 0;
  for (const PlaneLayout &plane : kPlanes) {
    const PlaneStats s = compare_plane(test.get(), ref.get(), width, height, plane, (int)tolerance);
    print_plane(plane.name, s, tolerance);
    samples += s.samples;
    beyond += s.beyond;
  }
  if (beyond == 0) {
    printf("MATCH: every sample within %ld\n", tolerance);
    return FRAMES_MATCH;
  }
  printf("MISMATCH: %" PRIu64 " of %" PRIu64 " samples beyond %ld\n", beyond, samples, tolerance);
  return FRAMES_DIFFER;
}
