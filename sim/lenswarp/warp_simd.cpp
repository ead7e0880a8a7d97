// The vector kernel, compiled once per instruction set that Highway supports here and chosen
// at run time, so one build runs the best code on any x86 or ARM CPU (on armhf, NEON only
// where the CPU has it). It computes exactly what the scalar code computes.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "warp_simd.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// foreach_target.h first: it includes this file again for every target.
#include <hwy/highway.h>

#include "warp_cells.h"

HWY_BEFORE_NAMESPACE();
namespace lenswarp {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D32 = hn::ScalableTag<int32_t>;
using V32 = hn::Vec<D32>;

// The left edge value and the slope along a line of a cell, for one axis: the position of
// sample i is left * 32 + slope * i (slope already scaled by `sub`). Both fit in 32 bits while
// the corners stay under kVectorCornerLimit.
struct LineRamp {
  int32_t start;
  int32_t slope;
};
HWY_INLINE LineRamp line_ramp(const int32_t *corner, int sub, int j) {
  const int32_t kj = sub * j;
  const int32_t left = corner[0] * (kMeshStepY - kj) + corner[2] * kj;
  const int32_t right = corner[1] * (kMeshStepY - kj) + corner[3] * kj;
  return {left * kMeshStepX, (right - left) * sub};
}

HWY_INLINE V32 byte_of(V32 word, int index) {
  const D32 d;
  switch (index) {
    case 0:
      return hn::And(word, hn::Set(d, 255));
    case 1:
      return hn::And(hn::ShiftRight<8>(word), hn::Set(d, 255));
    case 2:
      return hn::And(hn::ShiftRight<16>(word), hn::Set(d, 255));
    default:
      return hn::And(hn::ShiftRight<24>(word), hn::Set(d, 255));
  }
}

HWY_INLINE V32 interpolate_v(V32 p00, V32 p01, V32 p10, V32 p11, V32 fx, V32 fy) {
  const D32 d;
  const V32 t0 = hn::Add(hn::ShiftLeft<kWeightBits>(p00), hn::Mul(hn::Sub(p01, p00), fx));
  const V32 t1 = hn::Add(hn::ShiftLeft<kWeightBits>(p10), hn::Mul(hn::Sub(p11, p10), fx));
  const V32 v = hn::Add(hn::ShiftLeft<kWeightBits>(t0), hn::Mul(hn::Sub(t1, t0), fy));
  return hn::ShiftRight<2 * kWeightBits>(hn::Add(v, hn::Set(d, 1 << (2 * kWeightBits - 1))));
}

// One cell whose taps all lie inside the input. Each lane gathers 4 bytes from the upper tap
// line and 4 from the lower: for luma the two taps and two bytes it does not need (still inside
// the buffer, since chroma follows luma and the taps end at least one sample before the line's
// end), for chroma exactly U0 V0 U1 V1.
template <int kSub>
void warp_cell_inside(const InPlane &in, const OutPlane &out, const CellCorners &cc,
                      const CellArea &area) {
  const D32 d;
  const hn::Rebind<uint8_t, D32> d8;
#if HWY_TARGET != HWY_SCALAR
  const hn::Rebind<uint16_t, D32> d16;
  const hn::Repartition<uint8_t, decltype(d16)> d8x2;
#endif
  constexpr int kShift = position_shift(kSub);
  constexpr int kFracShift = kShift - kWeightBits;
  const int n = (int)hn::Lanes(d);
  const int32_t *base = reinterpret_cast<const int32_t *>(in.base);
  const V32 iota = hn::Iota(d, 0);
  const V32 frac_mask = hn::Set(d, kWeightOne - 1);
  const V32 stride = hn::Set(d, (int32_t)in.stride);
  const V32 origin = hn::Set(d, (int32_t)in.origin);
  for (int j = 0; j < area.rows; ++j) {
    const LineRamp rx = line_ramp(cc.x, kSub, j);
    const LineRamp ry = line_ramp(cc.y, kSub, j);
    const V32 slope_x = hn::Set(d, rx.slope), slope_y = hn::Set(d, ry.slope);
    uint8_t *dst = out.origin + (ptrdiff_t)(area.y0 + j) * out.stride + area.x0 * kSub;
    int i = 0;
    for (; i + n <= area.cols; i += n) {
      const V32 lane = hn::Add(iota, hn::Set(d, i));
      const V32 px = hn::Add(hn::Set(d, rx.start), hn::Mul(slope_x, lane));
      const V32 py = hn::Add(hn::Set(d, ry.start), hn::Mul(slope_y, lane));
      const V32 fx = hn::And(hn::ShiftRight<kFracShift>(px), frac_mask);
      const V32 fy = hn::And(hn::ShiftRight<kFracShift>(py), frac_mask);
      V32 ix = hn::ShiftRight<kShift>(px);
      if (kSub == 2) ix = hn::Add(ix, ix);  // two bytes per chroma sample
      const V32 offset = hn::Add(hn::Add(origin, ix), hn::Mul(hn::ShiftRight<kShift>(py), stride));
      const V32 upper = hn::GatherOffset(d, base, offset);
      const V32 lower = hn::GatherOffset(d, base, hn::Add(offset, stride));
      if (kSub == 1) {
        const V32 y = interpolate_v(byte_of(upper, 0), byte_of(upper, 1), byte_of(lower, 0),
                                    byte_of(lower, 1), fx, fy);
        hn::StoreU(hn::DemoteTo(d8, y), d8, dst + i);
      } else {
        const V32 u = interpolate_v(byte_of(upper, 0), byte_of(upper, 2), byte_of(lower, 0),
                                    byte_of(lower, 2), fx, fy);
        const V32 v = interpolate_v(byte_of(upper, 1), byte_of(upper, 3), byte_of(lower, 1),
                                    byte_of(lower, 3), fx, fy);
        const V32 uv = hn::Or(u, hn::ShiftLeft<8>(v));
#if HWY_TARGET == HWY_SCALAR
        const int32_t pair = hn::GetLane(uv);  // one lane: no byte view of a 16-bit vector
        dst[2 * i] = (uint8_t)pair;
        dst[2 * i + 1] = (uint8_t)(pair >> 8);
#else
        hn::StoreU(hn::BitCast(d8x2, hn::DemoteTo(d16, uv)), d8x2, dst + 2 * i);
#endif
      }
    }
    if (i < area.cols) {
      static const uint8_t kNoBackground[2] = {0, 0};  // taps are inside: never used
      warp_cell_line_scalar(in, out, cc, area, j, i, kBorderNearest, kNoBackground);
    }
  }
}

void warp_plane_cell(const InPlane &in, const OutPlane &out, const CellCorners &cc,
                     const CellArea &area, int32_t border_mode, const uint8_t *bg) {
  if (area.cols <= 0 || area.rows <= 0) return;
  switch (classify_cell(cc, in, area.sub, border_mode)) {
    case CellKind::kInside:
      if (area.sub == 1) {
        warp_cell_inside<1>(in, out, cc, area);
      } else {
        warp_cell_inside<2>(in, out, cc, area);
      }
      return;
    case CellKind::kBackground:
      fill_cell(out, area, bg);
      return;
    case CellKind::kMixed:
      warp_cell_scalar(in, out, cc, area, border_mode, bg);
      return;
  }
}

void warp_mesh_row_vector(const WarpJob &job, const FramePlanes &planes, int row) {
  const uint8_t bg_y[1] = {job.bg_y};
  const uint8_t bg_uv[2] = {job.bg_u, job.bg_v};
  for (int c = 0; c + 1 < job.mesh.geometry.cols; ++c) {
    const CellCorners cc = cell_corners(job.mesh, c, row);
    warp_plane_cell(planes.in_y, planes.out_y, cc, cell_area(planes.out_y, c, row, 1),
                    job.border_mode, bg_y);
    warp_plane_cell(planes.in_uv, planes.out_uv, cc, cell_area(planes.out_uv, c, row, 2),
                    job.border_mode, bg_uv);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace lenswarp
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace lenswarp {

HWY_EXPORT(warp_mesh_row_vector);

void warp_mesh_row_simd(const WarpJob &job, const FramePlanes &planes, int row) {
  HWY_DYNAMIC_DISPATCH(warp_mesh_row_vector)(job, planes, row);
}

const char *simd_target_name() {
  // Highway numbers better targets with lower bits; dispatch takes the best one compiled in
  // that the CPU supports.
  const int64_t usable = hwy::SupportedTargets() & HWY_TARGETS;
  return hwy::TargetName(usable & -usable);
}

}  // namespace lenswarp
#endif  // HWY_ONCE
