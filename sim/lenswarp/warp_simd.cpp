// The vector kernel, compiled once per instruction set that Highway supports here and chosen
// at run time, so one build runs the best code on any x86 or ARM CPU (on armhf, NEON only
// where the CPU has it). It computes exactly what the scalar code computes.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "warp_simd.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// foreach_target.h first: it includes this file again for every target.
#include <hwy/highway.h>

#include <algorithm>

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

// A tap pair: the left tap in the lane's low 16 bits, the right tap in its high 16 bits.
constexpr int32_t kLowHalf = 0xFFFF;

// The horizontal interpolation of a pair with weights in 1/2048: left * (2048 - fx) + right * fx,
// exact in 32 bits. `weights` holds (2048 - fx) | fx << 16, for AVX2's pairwise multiply-add.
HWY_INLINE V32 horizontal(V32 pair, V32 fx, V32 weights) {
#if HWY_TARGET == HWY_AVX2
  (void)fx;
  return V32{_mm256_madd_epi16(pair.raw, weights.raw)};
#else
  (void)weights;
  const V32 left = hn::And(pair, hn::Set(D32(), kLowHalf)), right = hn::ShiftRight<16>(pair);
  return hn::Add(hn::ShiftLeft<kWeightBits>(left), hn::Mul(hn::Sub(right, left), fx));
#endif
}

HWY_INLINE V32 pair_weights(V32 fx) {
  return hn::Or(hn::Sub(hn::Set(D32(), kWeightOne), fx), hn::ShiftLeft<16>(fx));
}

// The sample from its upper and lower tap pairs: interpolate() of warp_cells.h, lane by lane.
HWY_INLINE V32 interpolate_pairs(V32 upper, V32 lower, V32 fx, V32 fy, V32 weights) {
  const D32 d;
  const V32 t0 = horizontal(upper, fx, weights), t1 = horizontal(lower, fx, weights);
  const V32 v = hn::Add(hn::ShiftLeft<kWeightBits>(t0), hn::Mul(hn::Sub(t1, t0), fy));
  return hn::ShiftRight<2 * kWeightBits>(hn::Add(v, hn::Set(d, 1 << (2 * kWeightBits - 1))));
}

// Taps come from 16-byte windows where that pays: the lanes of a group read from a few source
// lines and a short stretch of each, so one 16-byte load per line (the same 16 bytes in every
// 128-bit block) and a byte shuffle per channel hand every lane its tap pair. Groups that reach
// further, AVX-512 (fast gathers) and the one-lane fallback gather from memory instead.
#undef LENSWARP_WINDOWS  // set anew for every target
#if HWY_TARGET == HWY_SSSE3 || HWY_TARGET == HWY_SSE4 || HWY_TARGET == HWY_NEON || \
    HWY_TARGET == HWY_AVX2
#define LENSWARP_WINDOWS 1
#else
#define LENSWARP_WINDOWS 0
#endif
// Unused by the targets without windows, which clang warns about.
[[maybe_unused]] constexpr int kWindowBytes = 16;
// Lines a lane group may span (plus the lower tap's line).
[[maybe_unused]] constexpr int kMaxWindowSpan = 2;

// The taps of a lane group, one sample per lane: channel c's upper pair in pair[c][0] and its
// lower pair in pair[c][1] (luma has one channel, chroma U and V).
template <int kSub>
struct Taps {
  // Declared here, inside the target's region, so that GCC compiles it for the target too: an
  // implicit constructor would lack the target (NEON on armhf) and fail to inline the vectors'.
  HWY_INLINE Taps() {}
  V32 pair[kSub][2];
};

// The four bytes at `offset` (bytes from in.base) for every lane, from memory: for luma the two
// taps and two bytes it does not need (still inside the buffer, since chroma follows luma and
// the taps end at least one sample before the line's end), for chroma exactly U0 V0 U1 V1.
template <int kSub>
HWY_INLINE Taps<kSub> gather_taps(const InPlane &in, V32 offset) {
  const D32 d;
  const int32_t *base = reinterpret_cast<const int32_t *>(in.base);
  const V32 upper = hn::GatherOffset(d, base, offset);
  const V32 lower = hn::GatherOffset(d, base, hn::Add(offset, hn::Set(d, (int32_t)in.stride)));
  Taps<kSub> taps;
  const V32 bytes_0_and_2 = hn::Set(d, 0x00FF00FF);
  if (kSub == 1) {
    // Bytes 0 and 1 are the taps: move the right one up to bit 16.
    for (int k = 0; k < 2; ++k) {
      const V32 w = k == 0 ? upper : lower;
      taps.pair[0][k] = hn::Or(hn::And(w, hn::Set(d, 0xFF)),
                               hn::And(hn::ShiftLeft<8>(w), hn::Set(d, 0x00FF0000)));
    }
  } else {
    // U0 V0 U1 V1: U's taps are bytes 0 and 2, V's bytes 1 and 3.
    for (int k = 0; k < 2; ++k) {
      const V32 w = k == 0 ? upper : lower;
      taps.pair[0][k] = hn::And(w, bytes_0_and_2);
      taps.pair[kSub - 1][k] = hn::And(hn::ShiftRight<8>(w), bytes_0_and_2);
    }
  }
  return taps;
}

#if LENSWARP_WINDOWS
using DBytes = hn::Repartition<uint8_t, D32>;
constexpr int kGroupLanes = HWY_LANES(int32_t);

// The taps from the window at in.base + window, lines 0 .. span + 1 below it; `first_byte` is
// each lane's upper-left tap's byte in the window and `line` its line.
template <int kSub>
HWY_INLINE Taps<kSub> window_taps(const InPlane &in, ptrdiff_t window, int span, V32 first_byte,
                                  V32 line) {
  const D32 d;
  const DBytes dbytes;
  // Lane bytes: the left tap, 0x80 (the shuffle writes 0), the right tap, 0x80.
  const V32 spread = hn::Or(first_byte, hn::ShiftLeft<16>(first_byte));
  hn::Vec<DBytes> index[kSub];
  for (int c = 0; c < kSub; ++c) {
    index[c] = hn::BitCast(
        dbytes, hn::Add(spread, hn::Set(d, (int32_t)(0x80008000u + (uint32_t)c * 0x10001u +
                                                     ((uint32_t)kSub << 16)))));
  }
  Taps<kSub> taps;
  V32 line_pairs[kSub];  // the pairs of line l, as the loop reaches it
  const auto upper = hn::LoadDup128(dbytes, in.base + window),
             lower = hn::LoadDup128(dbytes, in.base + window + in.stride);
  for (int c = 0; c < kSub; ++c) {
    taps.pair[c][0] = hn::BitCast(d, hn::TableLookupBytesOr0(upper, index[c]));
    taps.pair[c][1] = line_pairs[c] = hn::BitCast(d, hn::TableLookupBytesOr0(lower, index[c]));
  }
  for (int l = 1; l <= span; ++l) {
    // Lanes on line l take line l as their upper line and line l + 1 as their lower one.
    const auto here = hn::Eq(line, hn::Set(d, l));
    const auto next = hn::LoadDup128(dbytes, in.base + window + (ptrdiff_t)(l + 1) * in.stride);
    for (int c = 0; c < kSub; ++c) {
      const V32 below = hn::BitCast(d, hn::TableLookupBytesOr0(next, index[c]));
      taps.pair[c][0] = hn::IfThenElse(here, line_pairs[c], taps.pair[c][0]);
      taps.pair[c][1] = hn::IfThenElse(here, below, taps.pair[c][1]);
      line_pairs[c] = below;
    }
  }
  return taps;
}
#endif

// Whether a cell's lines read their taps through windows.
struct WindowPlan {
  bool use = false;
};

#if LENSWARP_WINDOWS
// Slopes vary linearly down a cell, so its first and last lines bound every group's reach; the
// corners bound the lines and columns read.
template <int kSub>
HWY_INLINE WindowPlan plan_windows(const InPlane &in, const CellCorners &cc, const CellArea &area) {
  constexpr int kShift = position_shift(kSub);
  int64_t reach_x = 0, reach_y = 0;
  for (int j : {0, area.rows - 1}) {
    reach_x = std::max(reach_x, std::abs((int64_t)line_ramp(cc.x, kSub, j).slope));
    reach_y = std::max(reach_y, std::abs((int64_t)line_ramp(cc.y, kSub, j).slope));
  }
  const int64_t samples = ((reach_x * (kGroupLanes - 1)) >> kShift) + 1;
  const int64_t span = ((reach_y * (kGroupLanes - 1)) >> kShift) + 1;
  // Corners are in 1/256 luma pixel: plane samples are 256 * kSub of them.
  const int64_t max_x = std::max({cc.x[0], cc.x[1], cc.x[2], cc.x[3]}) / (256 * kSub);
  const int64_t max_y = std::max({cc.y[0], cc.y[1], cc.y[2], cc.y[3]}) / (256 * kSub);
  WindowPlan plan;
  plan.use = samples * kSub + 2 * kSub <= kWindowBytes && span <= kMaxWindowSpan &&
             in.origin + (max_y + span + 1) * in.stride + max_x * kSub + kWindowBytes <= in.limit;
  return plan;
}
#else
template <int kSub>
HWY_INLINE WindowPlan plan_windows(const InPlane &, const CellCorners &, const CellArea &) {
  return WindowPlan();
}
#endif

// Line j of a cell whose taps all lie inside the input: the taps of each lane group (from
// windows or gathers), then the integer interpolation of warp_cells.h.
template <int kSub>
HWY_INLINE void warp_line_inside(const InPlane &in, const OutPlane &out, const CellCorners &cc,
                                 const CellArea &area, const WindowPlan &plan, int j) {
  (void)plan;  // gathers only, on targets without windows
  const D32 d;
  const hn::Rebind<uint8_t, D32> d8;
#if HWY_TARGET != HWY_SCALAR
  const hn::Rebind<uint16_t, D32> d16;
  const hn::Repartition<uint8_t, decltype(d16)> d8x2;
#endif
  constexpr int kShift = position_shift(kSub);
  constexpr int kFracShift = kShift - kWeightBits;
  const int n = (int)hn::Lanes(d);
  const V32 frac_mask = hn::Set(d, kWeightOne - 1);
  const LineRamp rx = line_ramp(cc.x, kSub, j);
  const LineRamp ry = line_ramp(cc.y, kSub, j);
  // Lane positions advance by n samples per group; each stays the exact value, which fits.
  const V32 iota = hn::Iota(d, 0);
  V32 px = hn::Add(hn::Set(d, rx.start), hn::Mul(hn::Set(d, rx.slope), iota));
  V32 py = hn::Add(hn::Set(d, ry.start), hn::Mul(hn::Set(d, ry.slope), iota));
  const V32 step_x = hn::Set(d, rx.slope * n), step_y = hn::Set(d, ry.slope * n);
  uint8_t *dst = out.origin + (ptrdiff_t)(area.y0 + j) * out.stride + area.x0 * kSub;
  const int groups = area.cols / n;
#if LENSWARP_WINDOWS
  // Positions are linear along the line, so a group's lowest sample and line lie at one of its
  // ends.
  const int64_t reach_x = std::abs((int64_t)rx.slope) * (kGroupLanes - 1);
  const int64_t reach_y = std::abs((int64_t)ry.slope) * (kGroupLanes - 1);
  int64_t lo_x = rx.start + (rx.slope < 0 ? -reach_x : 0);
  int64_t lo_y = ry.start + (ry.slope < 0 ? -reach_y : 0);
  const int64_t group_x = (int64_t)rx.slope * n, group_y = (int64_t)ry.slope * n;
#endif
  const V32 stride = hn::Set(d, (int32_t)in.stride);
  const V32 origin = hn::Set(d, (int32_t)in.origin);
  for (int g = 0; g < groups; ++g, px = hn::Add(px, step_x), py = hn::Add(py, step_y)) {
    const V32 fx = hn::And(hn::ShiftRight<kFracShift>(px), frac_mask);
    const V32 fy = hn::And(hn::ShiftRight<kFracShift>(py), frac_mask);
    const V32 ix = hn::ShiftRight<kShift>(px), iy = hn::ShiftRight<kShift>(py);
    Taps<kSub> taps;
#if LENSWARP_WINDOWS
    if (plan.use) {
      const int32_t x0 = (int32_t)(lo_x >> kShift), y0 = (int32_t)(lo_y >> kShift);
      const int span = (int)((lo_y + reach_y) >> kShift) - y0;  // often 0: one line pair
      const ptrdiff_t window = in.origin + (ptrdiff_t)y0 * in.stride + (ptrdiff_t)x0 * kSub;
      lo_x += group_x;
      lo_y += group_y;
      V32 first_byte = hn::Sub(ix, hn::Set(d, x0));
      if (kSub == 2) first_byte = hn::Add(first_byte, first_byte);
      taps = window_taps<kSub>(in, window, span, first_byte, hn::Sub(iy, hn::Set(d, y0)));
    } else
#endif
    {
      taps = gather_taps<kSub>(
          in, hn::Add(hn::Add(origin, kSub == 2 ? hn::Add(ix, ix) : ix), hn::Mul(iy, stride)));
    }
    const int i = g * n;
    const V32 weights = pair_weights(fx);
    if (kSub == 1) {
      const V32 y = interpolate_pairs(taps.pair[0][0], taps.pair[0][1], fx, fy, weights);
      hn::StoreU(hn::DemoteTo(d8, y), d8, dst + i);
    } else {
      const V32 u = interpolate_pairs(taps.pair[0][0], taps.pair[0][1], fx, fy, weights);
      const V32 v =
          interpolate_pairs(taps.pair[kSub - 1][0], taps.pair[kSub - 1][1], fx, fy, weights);
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
  if (groups * n < area.cols) {
    static const uint8_t kNoBackground[2] = {0, 0};  // taps are inside: never used
    warp_cell_line_scalar(in, out, cc, area, j, groups * n, kBorderNearest, kNoBackground);
  }
}

// One cell row of a plane, cell by cell (which measured faster than line by line across the
// row): vector code inside the input, the background, or the scalar code per sample.
template <int kSub>
void warp_plane_row(const WarpJob &job, const InPlane &in, const OutPlane &out, int row,
                    const uint8_t *bg) {
  for (int c = 0; c + 1 < job.mesh.geometry.cols; ++c) {
    const CellArea area = cell_area(out, c, row, kSub);
    if (area.cols <= 0 || area.rows <= 0) return;
    const CellCorners cc = cell_corners(job.mesh, c, row);
    switch (classify_cell(cc, in, kSub, job.settings.border_mode)) {
      case CellKind::kInside: {
        const WindowPlan plan = plan_windows<kSub>(in, cc, area);
        for (int j = 0; j < area.rows; ++j) warp_line_inside<kSub>(in, out, cc, area, plan, j);
        break;
      }
      case CellKind::kBackground:
        fill_cell(out, area, bg);
        break;
      case CellKind::kMixed:
        warp_cell_scalar(in, out, cc, area, job.settings.border_mode, bg);
        break;
    }
  }
}

void warp_mesh_row_vector(const WarpJob &job, const FramePlanes &planes, int row) {
  const uint8_t bg_y[1] = {job.settings.bg_y};
  const uint8_t bg_uv[2] = {job.settings.bg_u, job.settings.bg_v};
  warp_plane_row<1>(job, planes.in_y, planes.out_y, row, bg_y);
  warp_plane_row<2>(job, planes.in_uv, planes.out_uv, row, bg_uv);
}

}  // namespace HWY_NAMESPACE
}  // namespace lenswarp
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#if HWY_ARCH_ARM_V7
#include <sys/auxv.h>
#endif

#include <atomic>

namespace lenswarp {
namespace {

using RowFn = void (*)(const WarpJob &, const FramePlanes &, int);
struct TargetFn {
  int64_t target;
  RowFn fn;
};

// The compiled targets, best first (Highway numbers better targets with lower bits).
const TargetFn kTargetFns[] = {
#if HWY_TARGETS & HWY_AVX3_DL
    {HWY_AVX3_DL, &N_AVX3_DL::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_AVX3
    {HWY_AVX3, &N_AVX3::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_AVX2
    {HWY_AVX2, &N_AVX2::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_SSE4
    {HWY_SSE4, &N_SSE4::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_SSSE3
    {HWY_SSSE3, &N_SSSE3::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_NEON
    {HWY_NEON, &N_NEON::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_EMU128
    {HWY_EMU128, &N_EMU128::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_SCALAR
    {HWY_SCALAR, &N_SCALAR::warp_mesh_row_vector},
#endif
};

// What this CPU runs. Highway's own detection does not report NEON on 32-bit ARM, so there the
// engine asks the kernel's hardware capabilities itself; Highway builds its NEON code for
// NEON with VFPv4, so both are required (a Cortex-A9, NEON without VFPv4, runs the scalar code).
int64_t cpu_targets() {
  int64_t targets = hwy::SupportedTargets();
#if HWY_ARCH_ARM_V7
  constexpr unsigned long kHwcapNeon = 1UL << 12;   // HWCAP_NEON of <asm/hwcap.h>
  constexpr unsigned long kHwcapVfpv4 = 1UL << 16;  // HWCAP_VFPv4
  const unsigned long hwcap = getauxval(AT_HWCAP);
  if ((hwcap & kHwcapNeon) && (hwcap & kHwcapVfpv4)) targets |= HWY_NEON;
#endif
  return targets;
}

const TargetFn &best_target() {
  static const TargetFn &best = []() -> const TargetFn & {
    const int64_t cpu = cpu_targets();
    for (const TargetFn &t : kTargetFns) {
      if (t.target & cpu) return t;
    }
    return kTargetFns[sizeof(kTargetFns) / sizeof(kTargetFns[0]) - 1];
  }();
  return best;
}

std::atomic<const TargetFn *> forced_target{nullptr};

}  // namespace

void warp_mesh_row_simd(const WarpJob &job, const FramePlanes &planes, int row) {
  const TargetFn *forced = forced_target.load(std::memory_order_relaxed);
  (forced ? forced->fn : best_target().fn)(job, planes, row);
}

const char *simd_target_name() {
  return hwy::TargetName(best_target().target);
}

std::vector<int64_t> simd_targets() {
  std::vector<int64_t> usable;
  const int64_t cpu = cpu_targets();
  for (const TargetFn &t : kTargetFns) {
    if (t.target & cpu) usable.push_back(t.target);
  }
  return usable;
}

bool force_simd_target(int64_t target) {
  for (const TargetFn &t : kTargetFns) {
    if (t.target == target) {
      forced_target.store(&t);
      return true;
    }
  }
  forced_target.store(nullptr);
  return target == 0;
}

}  // namespace lenswarp
#endif  // HWY_ONCE
