#include "fisheye_scene.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "fisheye_model.h"
#include "pixel_formats.h"

namespace testpic {
namespace {

// floor(v) mod m, for m a power of two (so 1 / m is exact).
int floor_mod(double v, int m) {
  const double f = std::floor(v);
  return (int)(f - std::floor(f * (1.0 / m)) * m);
}

// Where the lens's ray through a point of the input picture meets the scene, in calibration
// pixels; false beyond the field of view.
class FisheyeView {
 public:
  FisheyeView(const FecOnlineConfig &cfg, int width, int height)
      : mLens(cfg),
        mFocal(-cfg.coeff[0]),
        mScaleX((double)cfg.calib_width / width),
        mScaleY((double)cfg.calib_height / height) {}

  bool scene_point(double u, double v, double *x, double *y) const {
    const double dx = (u + 0.5) * mScaleX - 0.5 - mLens.centre_x();
    const double dy = (v + 0.5) * mScaleY - 0.5 - mLens.centre_y();
    const double z = mLens.axial(std::sqrt(dx * dx + dy * dy));
    if (!(z < 0)) return false;
    const double scale = mFocal / -z;
    *x = mLens.centre_x() + dx * scale;
    *y = mLens.centre_y() + dy * scale;
    return true;
  }

 private:
  lenswarp::FisheyeLens mLens;
  double mFocal;
  double mScaleX, mScaleY;
};

void tint(bool right, bool bottom, uint8_t *uv) {
  uv[0] = right ? 160 : 96;
  uv[1] = bottom ? 160 : 96;
}

}  // namespace

uint8_t scene_luma(double x, double y) {
  // Shift by half a pixel so that pixel centres at integers fall inside [64k, 64k + 2).
  const double sx = x + 0.5, sy = y + 0.5;
  if (floor_mod(sx, kGrid) < kLineWidth || floor_mod(sy, kGrid) < kLineWidth) return kLineY;
  // Square edges fall half-way between grid lines, so every line runs on one even shade.
  const double ex = sx - kGrid / 2, ey = sy - kGrid / 2;
  const bool dark =
      (floor_mod(ex, 2 * kSquare) >= kSquare) != (floor_mod(ey, 2 * kSquare) >= kSquare);
  return dark ? kDarkY : kLightY;
}

void render_flat(int width, int height, uint8_t *pic) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) pic[(size_t)y * width + x] = scene_luma(x, y);
  }
  uint8_t *uv = pic + (size_t)width * height;
  for (int y = 0; y < height / 2; ++y) {
    for (int x = 0; x < width / 2; ++x) {
      tint(x * 2 >= width / 2, y * 2 >= height / 2, uv + (size_t)y * width + 2 * x);
    }
  }
}

void render_fisheye(const FecOnlineConfig &cfg, int width, int height, int samples, uint8_t *pic) {
  const FisheyeView view(cfg, width, height);
  const int n = samples * samples;
  auto luma_rows = [&](int first, int last) {
    for (int v = first; v < last; ++v) {
      for (int u = 0; u < width; ++u) {
        int sum = 0;
        for (int sv = 0; sv < samples; ++sv) {
          for (int su = 0; su < samples; ++su) {
            double x, y;
            const double du = (su + 0.5) / samples - 0.5, dv = (sv + 0.5) / samples - 0.5;
            sum += view.scene_point(u + du, v + dv, &x, &y) ? scene_luma(x, y) : kOutsideY;
          }
        }
        pic[(size_t)v * width + u] = (uint8_t)((sum + n / 2) / n);
      }
    }
  };
  // A 4K picture takes seconds per core: share the rows out.
  const int threads = (int)std::max(1u, std::min(16u, std::thread::hardware_concurrency()));
  std::vector<std::thread> workers;
  for (int t = 1; t < threads; ++t) {
    workers.emplace_back(luma_rows, height * t / threads, height * (t + 1) / threads);
  }
  luma_rows(0, height / threads);
  for (std::thread &w : workers) w.join();

  uint8_t *uv = pic + (size_t)width * height;
  for (int v = 0; v < height / 2; ++v) {
    for (int u = 0; u < width / 2; ++u) {
      uint8_t *dst = uv + (size_t)v * width + 2 * u;
      double x, y;
      if (view.scene_point(2 * u, 2 * v, &x, &y)) {
        tint(x >= cfg.calib_width / 2.0, y >= cfg.calib_height / 2.0, dst);
      } else {
        dst[0] = dst[1] = 128;
      }
    }
  }
}

std::vector<uint8_t> render_fisheye(const FecOnlineConfig &cfg, int width, int height,
                                    int samples) {
  std::vector<uint8_t> pic((size_t)nv12_frame_bytes(width, height));
  render_fisheye(cfg, width, height, samples, pic.data());
  return pic;
}

}  // namespace testpic
