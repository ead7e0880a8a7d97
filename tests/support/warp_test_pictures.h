// Test support for the engine's tests, which alone include it beside the engine's headers:
// pictures, meshes from a mapping function, and the double-precision reference that the integer
// code is held against.
#ifndef TESTS_SUPPORT_WARP_TEST_PICTURES_H
#define TESTS_SUPPORT_WARP_TEST_PICTURES_H

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "warp_engine.h"

namespace lenswarp_test {

using lenswarp::Mesh;
using lenswarp::PictureLayout;
using lenswarp::WarpJob;

inline PictureLayout packed(int w, int h) {
  return {w, h, w, 0};
}

// A buffer for `layout` with every byte random, so untouched padding is noticed too.
inline std::vector<uint8_t> random_picture(const PictureLayout &layout, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> buf(layout.bytes());
  for (uint8_t &b : buf) b = (uint8_t)rng();
  return buf;
}

// The mesh whose point at output (x, y) has the source position map(x, y).
inline Mesh mesh_of(int out_w, int out_h,
                    const std::function<void(double, double, double *, double *)> &map) {
  Mesh m;
  m.geometry = lenswarp::mesh_geometry(out_w, out_h);
  for (int r = 0; r < m.geometry.rows; ++r) {
    for (int c = 0; c < m.geometry.cols; ++c) {
      double sx, sy;
      map(c * lenswarp::kMeshStepX, r * lenswarp::kMeshStepY, &sx, &sy);
      m.x.push_back(lenswarp::quantize_position(sx));
      m.y.push_back(lenswarp::quantize_position(sy));
    }
  }
  return m;
}

inline Mesh shift_mesh(int out_w, int out_h, double dx, double dy) {
  return mesh_of(out_w, out_h, [&](double x, double y, double *sx, double *sy) {
    *sx = x + dx;
    *sy = y + dy;
  });
}

inline WarpJob make_job(PictureLayout in, PictureLayout out, Mesh mesh, int border = 0,
                        uint8_t bg_y = 16, uint8_t bg_u = 128, uint8_t bg_v = 128) {
  return WarpJob{{in, out, border, bg_y, bg_u, bg_v}, std::move(mesh)};
}

// Plane 0 is Y, 1 is U, 2 is V.
inline int sample(const PictureLayout &l, const std::vector<uint8_t> &buf, int plane, int x,
                  int y) {
  if (plane == 0) return buf[(size_t)y * l.stride + l.offset_x + x];
  return buf[(size_t)(l.height + y) * l.stride + l.offset_x + 2 * x + (plane - 1)];
}

// The exact value of output sample (x, y) of `plane`: position and interpolation in double
// precision from the mesh's stored positions, with the border rule for every tap, rounded.
inline int reference_sample(const WarpJob &job, const std::vector<uint8_t> &in, int plane, int x,
                            int y) {
  const int sub = plane == 0 ? 1 : 2;
  const int lx = x * sub, ly = y * sub;  // chroma sits on the even luma samples
  const int c = lx / lenswarp::kMeshStepX, r = ly / lenswarp::kMeshStepY;
  const double u = (double)(lx % lenswarp::kMeshStepX) / lenswarp::kMeshStepX;
  const double v = (double)(ly % lenswarp::kMeshStepY) / lenswarp::kMeshStepY;
  const size_t cols = (size_t)job.mesh.geometry.cols, i00 = (size_t)r * cols + (size_t)c;
  auto lerp2 = [&](const std::vector<int32_t> &p) {
    const double top = p[i00] * (1 - u) + p[i00 + 1] * u;
    const double bottom = p[i00 + cols] * (1 - u) + p[i00 + cols + 1] * u;
    return (top * (1 - v) + bottom * v) / 256.0 / sub;
  };
  const double px = lerp2(job.mesh.x), py = lerp2(job.mesh.y);
  const lenswarp::WarpSettings &s = job.settings;
  const int w = s.in.width / sub, h = s.in.height / sub;
  const int bg = plane == 0 ? s.bg_y : plane == 1 ? s.bg_u : s.bg_v;
  auto tap = [&](double tx, double ty) -> double {
    if (tx < 0 || ty < 0 || tx >= w || ty >= h) {
      if (s.border_mode == 0) return bg;
      tx = std::min(std::max(tx, 0.0), (double)w - 1);
      ty = std::min(std::max(ty, 0.0), (double)h - 1);
    }
    return sample(s.in, in, plane, (int)tx, (int)ty);
  };
  const double x0 = std::floor(px), y0 = std::floor(py), fx = px - x0, fy = py - y0;
  const double value = (1 - fy) * ((1 - fx) * tap(x0, y0) + fx * tap(x0 + 1, y0)) +
                       fy * ((1 - fx) * tap(x0, y0 + 1) + fx * tap(x0 + 1, y0 + 1));
  return (int)std::lround(value);
}

}  // namespace lenswarp_test

#endif  // TESTS_SUPPORT_WARP_TEST_PICTURES_H
