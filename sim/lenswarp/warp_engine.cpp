#include "warp_engine.h"

#include <string.h>

#include <algorithm>

#include "thread_pool.h"
#include "warp_cells.h"

namespace lenswarp {

size_t PictureLayout::bytes() const {
  if (width <= 0 || height <= 0) return 0;
  // The last chroma line ends at the picture's last byte; nothing after it is touched.
  const size_t lines = (size_t)height + (size_t)height / 2;
  return (lines - 1) * (size_t)stride + (size_t)offset_x + (size_t)width;
}

FramePlanes frame_planes(const WarpJob &job, const uint8_t *in, uint8_t *out) {
  FramePlanes p;
  const PictureLayout &i = job.settings.in, &o = job.settings.out;
  const ptrdiff_t limit = (ptrdiff_t)i.bytes();
  p.in_y = {in, i.offset_x, i.stride, i.width, i.height, 1, limit};
  p.in_uv = {
      in,   (ptrdiff_t)i.stride * i.height + i.offset_x, i.stride, i.width / 2, i.height / 2, 2,
      limit};
  p.out_y = {out + o.offset_x, o.stride, o.width, o.height};
  p.out_uv = {out + (ptrdiff_t)o.stride * o.height + o.offset_x, o.stride, o.width / 2,
              o.height / 2};
  return p;
}

CellKind classify_cell(const CellCorners &cc, const InPlane &in, int sub, int32_t border_mode) {
  const int32_t min_x = std::min({cc.x[0], cc.x[1], cc.x[2], cc.x[3]});
  const int32_t max_x = std::max({cc.x[0], cc.x[1], cc.x[2], cc.x[3]});
  const int32_t min_y = std::min({cc.y[0], cc.y[1], cc.y[2], cc.y[3]});
  const int32_t max_y = std::max({cc.y[0], cc.y[1], cc.y[2], cc.y[3]});
  // One plane sample in corner units (1/256 luma pixel).
  const int64_t unit = 256 * sub;
  if (border_mode == kBorderBackground &&
      (max_x < -unit || max_y < -unit || min_x >= in.width * unit || min_y >= in.height * unit)) {
    return CellKind::kBackground;
  }
  const bool inside =
      min_x >= 0 && min_y >= 0 && max_x < (in.width - 1) * unit && max_y < (in.height - 1) * unit;
  if (inside && max_x < kVectorCornerLimit && max_y < kVectorCornerLimit) return CellKind::kInside;
  return CellKind::kMixed;
}

namespace {

int tap(const InPlane &in, int64_t x, int64_t y, int channel, int32_t border_mode, int bg) {
  if (x < 0 || y < 0 || x >= in.width || y >= in.height) {
    if (border_mode == kBorderBackground) return bg;
    x = std::min<int64_t>(std::max<int64_t>(x, 0), in.width - 1);
    y = std::min<int64_t>(std::max<int64_t>(y, 0), in.height - 1);
  }
  return in.base[in.origin + y * in.stride + x * in.step + channel];
}

}  // namespace

void warp_cell_line_scalar(const InPlane &in, const OutPlane &out, const CellCorners &cc,
                           const CellArea &area, int j, int first, int32_t border_mode,
                           const uint8_t *bg) {
  const int shift = position_shift(area.sub);
  const int frac_shift = shift - kWeightBits;
  uint8_t *dst = out.origin + (ptrdiff_t)(area.y0 + j) * out.stride;
  for (int i = first; i < area.cols; ++i) {
    const int64_t px = cell_position(cc.x, area.sub, i, j);
    const int64_t py = cell_position(cc.y, area.sub, i, j);
    const int64_t ix = px >> shift, iy = py >> shift;
    const int fx = (int)((px >> frac_shift) & (kWeightOne - 1));
    const int fy = (int)((py >> frac_shift) & (kWeightOne - 1));
    for (int ch = 0; ch < in.step; ++ch) {
      const int p00 = tap(in, ix, iy, ch, border_mode, bg[ch]);
      const int p01 = tap(in, ix + 1, iy, ch, border_mode, bg[ch]);
      const int p10 = tap(in, ix, iy + 1, ch, border_mode, bg[ch]);
      const int p11 = tap(in, ix + 1, iy + 1, ch, border_mode, bg[ch]);
      dst[(ptrdiff_t)(area.x0 + i) * in.step + ch] =
          (uint8_t)interpolate(p00, p01, p10, p11, fx, fy);
    }
  }
}

void warp_cell_scalar(const InPlane &in, const OutPlane &out, const CellCorners &cc,
                      const CellArea &area, int32_t border_mode, const uint8_t *bg) {
  for (int j = 0; j < area.rows; ++j) {
    warp_cell_line_scalar(in, out, cc, area, j, 0, border_mode, bg);
  }
}

void fill_cell_line(const OutPlane &out, const CellArea &area, int j, const uint8_t *bg) {
  const int step = area.sub;  // luma: 1 byte per sample; chroma: U and V
  uint8_t *dst = out.origin + (ptrdiff_t)(area.y0 + j) * out.stride + area.x0 * step;
  if (step == 1) {
    memset(dst, bg[0], (size_t)area.cols);
    return;
  }
  for (int i = 0; i < area.cols; ++i) {
    dst[2 * i] = bg[0];
    dst[2 * i + 1] = bg[1];
  }
}

void fill_cell(const OutPlane &out, const CellArea &area, const uint8_t *bg) {
  for (int j = 0; j < area.rows; ++j) fill_cell_line(out, area, j, bg);
}

namespace {

void warp_mesh_row_scalar(const WarpJob &job, const FramePlanes &planes, int row) {
  const WarpSettings &s = job.settings;
  const uint8_t bg_y[1] = {s.bg_y};
  const uint8_t bg_uv[2] = {s.bg_u, s.bg_v};
  for (int c = 0; c + 1 < job.mesh.geometry.cols; ++c) {
    const CellCorners cc = cell_corners(job.mesh, c, row);
    CellArea area = cell_area(planes.out_y, c, row, 1);
    if (area.cols > 0 && area.rows > 0) {
      warp_cell_scalar(planes.in_y, planes.out_y, cc, area, s.border_mode, bg_y);
    }
    area = cell_area(planes.out_uv, c, row, 2);
    if (area.cols > 0 && area.rows > 0) {
      warp_cell_scalar(planes.in_uv, planes.out_uv, cc, area, s.border_mode, bg_uv);
    }
  }
}

const WarpKernel kScalarKernel = {"scalar", 0, &warp_mesh_row_scalar};

}  // namespace

const WarpKernel &scalar_kernel() {
  return kScalarKernel;
}

void warp_mesh_row(const WarpJob &job, const uint8_t *in, uint8_t *out, int row,
                   const WarpKernel &kernel) {
  kernel.mesh_row(job, frame_planes(job, in, out), row);
}

void warp_frame(const WarpJob &job, const uint8_t *in, uint8_t *out, const WarpKernel &kernel) {
  const FramePlanes planes = frame_planes(job, in, out);
  for (int r = 0; r < mesh_cell_rows(job); ++r) kernel.mesh_row(job, planes, r);
}

namespace {

struct FrameWork {
  const WarpJob *job;
  FramePlanes planes;
  const WarpKernel *kernel;
};

void run_rows(void *arg, int row) {
  const FrameWork *w = static_cast<const FrameWork *>(arg);
  w->kernel->mesh_row(*w->job, w->planes, row);
}

}  // namespace

void warp_frame_on(ThreadPool &pool, const WarpJob &job, const uint8_t *in, uint8_t *out,
                   const WarpKernel &kernel) {
  FrameWork work = {&job, frame_planes(job, in, out), &kernel};
  pool.run(mesh_cell_rows(job), run_rows, &work);
}

}  // namespace lenswarp
