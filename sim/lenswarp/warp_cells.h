// The engine's inner parts, shared by the scalar and the vector code: planes, mesh cells and the
// per-sample arithmetic. Only warp_engine.cpp and warp_simd.cpp include this.
#ifndef SIM_LENSWARP_WARP_CELLS_H
#define SIM_LENSWARP_WARP_CELLS_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "warp_engine.h"

namespace lenswarp {

// Interpolation weights keep this many bits of a position's fraction.
constexpr int kWeightBits = 11;
constexpr int32_t kWeightOne = 1 << kWeightBits;

// One plane of the input. `base` is the buffer's start, kept separate from the byte offsets so
// vector gathers can address the buffer from an aligned pointer.
struct InPlane {
  const uint8_t *base;
  ptrdiff_t origin;  // byte offset of sample (0, 0)
  ptrdiff_t stride;
  int width;        // samples per line
  int height;       // lines
  int step;         // bytes from one sample to the next: 1 for Y, 2 for interleaved UV
  ptrdiff_t limit;  // bytes from base that may be read: the picture's end
};

struct OutPlane {
  uint8_t *origin;  // sample (0, 0)
  ptrdiff_t stride;
  int width;
  int height;
};

// The planes of one frame; chroma samples are 2 bytes apart, U first.
struct FramePlanes {
  InPlane in_y, in_uv;
  OutPlane out_y, out_uv;
};
FramePlanes frame_planes(const WarpJob &job, const uint8_t *in, uint8_t *out);

// A mesh cell's corner positions in 1/256 luma pixel: [0] at (32c, 16r), [1] one cell to the
// right, [2] one cell down, [3] diagonally.
struct CellCorners {
  int32_t x[4];
  int32_t y[4];
};
inline CellCorners cell_corners(const Mesh &mesh, int c, int r) {
  const size_t cols = (size_t)mesh.geometry.cols;
  const size_t i00 = (size_t)r * cols + (size_t)c, i10 = i00 + cols;
  return {{mesh.x[i00], mesh.x[i00 + 1], mesh.x[i10], mesh.x[i10 + 1]},
          {mesh.y[i00], mesh.y[i00 + 1], mesh.y[i10], mesh.y[i10 + 1]}};
}

// The part of a plane that a cell covers, and how its positions scale: `sub` is 1 for luma and
// 2 for chroma, whose samples are two luma pixels apart.
struct CellArea {
  int x0, y0;      // first sample of the cell in the output plane
  int cols, rows;  // samples of the cell inside the output plane
  int sub;
};
inline CellArea cell_area(const OutPlane &out, int c, int r, int sub) {
  const int w = kMeshStepX / sub, h = kMeshStepY / sub;
  CellArea a = {c * w, r * h, w, h, sub};
  if (a.x0 + a.cols > out.width) a.cols = out.width - a.x0;
  if (a.y0 + a.rows > out.height) a.rows = out.height - a.y0;
  return a;
}

// Positions inside a cell are exact in units of 1 / 2^position_shift(sub) plane samples.
constexpr int position_shift(int sub) {
  return 16 + sub;
}

// The exact position of output sample (i, j) of a cell, for one axis, from its corner values.
// Bilinear in (i, j): the left and right edges first, then along the line.
inline int64_t cell_position(const int32_t *corner, int sub, int i, int j) {
  const int64_t ki = (int64_t)sub * i, kj = (int64_t)sub * j;
  const int64_t left = corner[0] * (kMeshStepY - kj) + corner[2] * kj;
  const int64_t right = corner[1] * (kMeshStepY - kj) + corner[3] * kj;
  return left * (kMeshStepX - ki) + right * ki;
}

enum class CellKind {
  kInside,      // every tap of every sample lies inside the input plane
  kBackground,  // every tap lies outside and takes the background value
  kMixed,       // anything else: per-sample border handling
};

// Vector code keeps positions in 32 bits; corners beyond this (1/256 pixel) go the scalar way.
constexpr int32_t kVectorCornerLimit = 1 << 21;

// Positions inside a cell stay within its corners' bounding box (they are bilinear in the
// corners), so the corners decide for the whole cell.
CellKind classify_cell(const CellCorners &cc, const InPlane &in, int sub, int32_t border_mode);

// The integer sample interpolation: taps p00 p01 (upper line) p10 p11, weights in 1/2048.
inline int interpolate(int p00, int p01, int p10, int p11, int fx, int fy) {
  const int32_t t0 = p00 * kWeightOne + (p01 - p00) * fx;
  const int32_t t1 = p10 * kWeightOne + (p11 - p10) * fx;
  return (t0 * kWeightOne + (t1 - t0) * fy + (1 << (2 * kWeightBits - 1))) >> (2 * kWeightBits);
}

// One cell of one plane sample by sample, with the border rule for every tap. `bg` holds the
// background of each channel (Y, or U and V).
void warp_cell_scalar(const InPlane &in, const OutPlane &out, const CellCorners &cc,
                      const CellArea &area, int32_t border_mode, const uint8_t *bg);
// Samples [first, area.cols) of line j of a cell, as warp_cell_scalar does them.
void warp_cell_line_scalar(const InPlane &in, const OutPlane &out, const CellCorners &cc,
                           const CellArea &area, int j, int first, int32_t border_mode,
                           const uint8_t *bg);
void fill_cell(const OutPlane &out, const CellArea &area, const uint8_t *bg);
void fill_cell_line(const OutPlane &out, const CellArea &area, int j, const uint8_t *bg);

}  // namespace lenswarp

#endif  // SIM_LENSWARP_WARP_CELLS_H
