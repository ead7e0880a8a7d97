#include "frame_to_png.h"

#include <stdint.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "frame_file.h"
#include "pixel_formats.h"
#include "tool_io.h"
#include "tool_png.h"

namespace {

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

// The out_w x out_h RGB picture of the w x h NV12 frame `nv12`, each of its pixels the mean of a
// block of s x s pixels.
void shrink_to_rgb(const uint8_t *nv12, int w, int h, int s, int out_w, int out_h, uint8_t *rgb) {
  const uint8_t *uv = nv12 + (size_t)w * h;
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
}

}  // namespace

bool convert_frame_to_png(const TopngSettings &settings) {
  const int w = (int)settings.width, h = (int)settings.height, s = (int)settings.scale;
  // Sizes of at most 16384 lines and columns: the frame fits a 32-bit size_t.
  const size_t frame_bytes = (size_t)nv12_frame_bytes(w, h);
  std::unique_ptr<uint8_t[]> nv12;
  FrameRead read = read_frame("nv12-topng", settings.input, settings.frame, frame_bytes, &nv12);
  if (read.result != FRAME_READ) {
    // nv12-topng has always said of a frame it could not read that the file lacks it.
    if (read.result == FRAME_CANNOT_READ) read.result = FRAME_MISSING;
    say_frame_read_failure("nv12-topng", settings.input, settings.frame, frame_bytes, read);
    return false;
  }
  const int out_w = std::max(1, w / s), out_h = std::max(1, h / s);
  std::unique_ptr<uint8_t[]> rgb =
      allocate_bytes("nv12-topng", (size_t)out_w * out_h * 3, "the RGB picture");
  if (!rgb) return false;
  shrink_to_rgb(nv12.get(), w, h, s, out_w, out_h, rgb.get());
  return write_rgb_png("nv12-topng", settings.output, out_w, out_h, rgb.get());
}
