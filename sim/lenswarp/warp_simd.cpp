// The vector kernels, compiled once per instruction set that Highway supports here, so one
// build runs the best code on any x86 or ARM CPU (on armhf, NEON only where the CPU has it).
// Each computes exactly what the scalar code computes.
//
// A mesh cell row is done line by line across its cells: the cells are classified once, and
// each output line then runs through the cells inside the input group by group, a group being
// one vector of 32-bit lanes with one output sample each (for chroma, U and V of half as many
// positions side by side, so a group's lanes are the output bytes in order).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "warp_simd.cpp"
// Debian's Highway compiles AVX3_DL (AVX-512 with VBMI, VBMI2 and VNNI) only on request; its
// byte permutes across the whole vector let a window hold several source lines of 32 bytes.
#define HWY_WANT_AVX3_DL
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// foreach_target.h first: it includes this file again for every target.
#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include <algorithm>

#include "warp_cells.h"

HWY_BEFORE_NAMESPACE();
namespace lenswarp {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D32 = hn::ScalableTag<int32_t>;
using V32 = hn::Vec<D32>;

// A tap pair: the left tap in the lane's low 16 bits, the right tap in its high 16 bits.
constexpr int32_t kLowHalf = 0xFFFF;

// The horizontal interpolation of a pair with weights in 1/2048: left * (2048 - fx) + right * fx,
// exact in 32 bits. `weights` holds (2048 - fx) | fx << 16, for the pairwise multiply-add of
// AVX2 and AVX-512.
HWY_INLINE V32 horizontal(V32 pair, V32 fx, V32 weights) {
#if HWY_TARGET == HWY_AVX2
  (void)fx;
  return V32{_mm256_madd_epi16(pair.raw, weights.raw)};
#elif HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
  (void)fx;
  return V32{_mm512_madd_epi16(pair.raw, weights.raw)};
#else
  (void)weights;
  const V32 left = hn::And(pair, hn::Set(D32(), kLowHalf)), right = hn::ShiftRight<16>(pair);
  return hn::Add(hn::ShiftLeft<kWeightBits>(left), hn::Mul(hn::Sub(right, left), fx));
#endif
}

// The sample from its upper and lower tap pairs: interpolate() of warp_cells.h, lane by lane.
HWY_INLINE V32 interpolate_pairs(V32 upper, V32 lower, V32 fx, V32 fy, V32 weights) {
  const D32 d;
  const V32 t0 = horizontal(upper, fx, weights), t1 = horizontal(lower, fx, weights);
  const V32 v = hn::Add(hn::ShiftLeft<kWeightBits>(t0), hn::Mul(hn::Sub(t1, t0), fy));
  return hn::ShiftRight<2 * kWeightBits>(hn::Add(v, hn::Set(d, 1 << (2 * kWeightBits - 1))));
}

// A group's tap pairs for its upper and its lower source lines.
struct Taps {
  // Declared here, inside the target's region, so that GCC compiles it for the target too: an
  // implicit constructor would lack the target (NEON on armhf) and fail to inline the vectors'.
  HWY_INLINE Taps() {}
  V32 upper, lower;
};

// The four bytes at `offset` (bytes from in.base) for every lane, from memory. For luma they are
// the two taps and two bytes not needed (still inside the buffer, since chroma follows luma and
// the taps end at least one sample before the line's end); for chroma exactly U0 V0 U1 V1, of
// which a lane takes its channel's two.
template <int kSub>
HWY_INLINE Taps gather_taps(const InPlane &in, V32 offset, V32 channel) {
  const D32 d;
  const int32_t *base = reinterpret_cast<const int32_t *>(in.base);
  const V32 words[2] = {hn::GatherOffset(d, base, offset),
                        hn::GatherOffset(d, base, hn::Add(offset, hn::Set(d, (int32_t)in.stride)))};
  V32 pairs[2];
  for (int k = 0; k < 2; ++k) {
    const V32 w = words[k];
    if (kSub == 1) {
      // Bytes 0 and 1 are the taps: move the right one up to bit 16.
      pairs[k] = hn::Or(hn::And(w, hn::Set(d, 0xFF)),
                        hn::And(hn::ShiftLeft<8>(w), hn::Set(d, 0x00FF0000)));
    } else {
      // U's taps are bytes 0 and 2, V's bytes 1 and 3.
      const V32 bytes_0_and_2 = hn::Set(d, 0x00FF00FF);
      pairs[k] = hn::IfThenElse(hn::Eq(channel, hn::Zero(d)), hn::And(w, bytes_0_and_2),
                                hn::And(hn::ShiftRight<8>(w), bytes_0_and_2));
    }
  }
  Taps taps;
  taps.upper = pairs[0];
  taps.lower = pairs[1];
  return taps;
}

// Windows: where a group's lanes read from a few source lines and a short stretch of each, the
// source is loaded once and each lane handed its tap pair by a byte permute, instead of being
// gathered from memory. Groups that reach further gather.
#undef LENSWARP_WINDOWS  // set anew for every target
#if HWY_TARGET == HWY_AVX3_DL
// Source lines of 32 bytes each, 0 to 3 in two vectors for 128-byte two-table permutes, and a
// fifth for the lower taps of groups that reach four lines.
#define LENSWARP_WINDOWS 1
constexpr int kWindowBytes = 32;
constexpr int kWindowLines = 5;
#elif HWY_TARGET == HWY_SSSE3 || HWY_TARGET == HWY_SSE4 || HWY_TARGET == HWY_NEON || \
    HWY_TARGET == HWY_AVX2
// 16 bytes of each source line (the same 16 in every 128-bit block), with byte shuffles.
#define LENSWARP_WINDOWS 1
constexpr int kWindowBytes = 16;
constexpr int kWindowLines = 4;
#else
// AVX3 (AVX-512 without VBMI shuffles bytes within 128-bit blocks only) and the one-lane and
// emulated targets gather.
#define LENSWARP_WINDOWS 0
[[maybe_unused]] constexpr int kWindowBytes = 0;
[[maybe_unused]] constexpr int kWindowLines = 0;
#endif
// A group's upper taps lie on at most this many lines below its first (the lower taps one more).
[[maybe_unused]] constexpr int kMaxSpan = kWindowLines - 2;

#if LENSWARP_WINDOWS && HWY_TARGET != HWY_AVX3_DL
using DBytes = hn::Repartition<uint8_t, D32>;

// The taps from the window at in.base + window, lines 0 .. span + 1 below it; `index` holds
// each lane's upper-left tap's byte in the line in its byte 0 and the upper-right tap's in its
// byte 2, with 0x80 (the shuffle writes 0) in bytes 1 and 3; `line` is the lane's upper line.
HWY_INLINE Taps window_taps(const InPlane &in, ptrdiff_t window, int span, V32 index, V32 line) {
  const D32 d;
  const DBytes dbytes;
  const auto bytes = hn::BitCast(dbytes, index);
  Taps taps;
  const auto upper = hn::LoadDup128(dbytes, in.base + window),
             lower = hn::LoadDup128(dbytes, in.base + window + in.stride);
  taps.upper = hn::BitCast(d, hn::TableLookupBytesOr0(upper, bytes));
  V32 line_pair = taps.lower = hn::BitCast(d, hn::TableLookupBytesOr0(lower, bytes));
  for (int l = 1; l <= span; ++l) {
    // Lanes on line l take line l as their upper line and line l + 1 as their lower one.
    const auto here = hn::Eq(line, hn::Set(d, l));
    const auto next = hn::LoadDup128(dbytes, in.base + window + (ptrdiff_t)(l + 1) * in.stride);
    const V32 below = hn::BitCast(d, hn::TableLookupBytesOr0(next, bytes));
    taps.upper = hn::IfThenElse(here, line_pair, taps.upper);
    taps.lower = hn::IfThenElse(here, below, taps.lower);
    line_pair = below;
  }
  return taps;
}
#endif

// What a line of a plane's cells needs that does not change along it.
template <int kSub>
struct PlaneLanes {
  HWY_INLINE PlaneLanes() {}
  V32 position;    // the lane's position in its group: lane / kSub
  V32 channel;     // lane % kSub: 0 for luma and U, 1 for V
  V32 channel_x2;  // channel * 0x10001, for both tap bytes of an index
};

template <int kSub>
HWY_INLINE PlaneLanes<kSub> plane_lanes() {
  const D32 d;
  PlaneLanes<kSub> l;
  const V32 iota = hn::Iota(d, 0);
  l.position = kSub == 1 ? iota : hn::ShiftRight<1>(iota);
  l.channel = kSub == 1 ? hn::Zero(d) : hn::And(iota, hn::Set(d, 1));
  l.channel_x2 = hn::Mul(l.channel, hn::Set(d, 0x10001));
  return l;
}

// Cells of a row classified at a time, and so the longest stretch of a line run in one go.
constexpr int kCellsAtOnce = 128;

// Source lines ahead of a window that the code fetches into the cache: a window's lines are read
// again by the lines of the cell row below, a few source lines further down, and fetching them
// now hides the memory's latency, which the curved paths of a correction through the picture
// keep the hardware's own prefetcher from foreseeing.
constexpr int kPrefetchLines = 10;

#if HWY_TARGET == HWY_AVX3_DL
// Highway's AVX3_DL code may use VNNI (its run-time check requires it) but does not enable the
// AVX-512 form for the compiler.
#define LENSWARP_VNNI __attribute__((target("avx512vnni")))

// AVX3_DL runs the whole inside cells of a line in AVX-512 written out for the fewest
// instructions per group, doing what the generic loop in warp_cell_line_inside below does: what
// every group needs is worked out for the whole line at once (dl_line); then each group's
// window, source lines of 32 bytes from its first tap, hands each lane its tap pairs by
// two-table byte permutes (line * 32 + byte in the line as the index), and the samples of a
// cell line's two groups are packed by one permute.
template <int kSub>
struct DlRow {
  static constexpr int kShift = position_shift(kSub);
  static constexpr int kFracShift = kShift - kWeightBits;
  static constexpr int kPerGroup = 16 / kSub;
  const InPlane *in;
  const uint8_t *plane;
  ptrdiff_t stride;
  __m512i position;    // the lane's position in its group
  __m512i channel;     // 0 for luma and U, 1 for V
  __m512i lane_index;  // (kSub << 16) + channel * 0x10001: see the index below
  __m512i fy_mask, one, line_mask, next_line, samples;
  __m512i low_word_twice;  // for a byte shuffle: each lane's low 16 bits in both halves
  __m512i low_complement, fraction_pair, rounding;
  __mmask64 tap_bytes;  // bytes 0 and 2 of every lane: the taps; bytes 1 and 3 become 0
};

template <int kSub>
HWY_INLINE DlRow<kSub> dl_row(const InPlane &in, const PlaneLanes<kSub> &lanes) {
  DlRow<kSub> r;
  r.in = &in;
  r.plane = in.base + in.origin;
  r.stride = in.stride;
  r.position = lanes.position.raw;
  r.channel = lanes.channel.raw;
  r.lane_index = _mm512_add_epi32(lanes.channel_x2.raw, _mm512_set1_epi32(kSub << 16));
  r.fy_mask = _mm512_set1_epi32((kWeightOne - 1) << 2);
  r.one = _mm512_set1_epi32(1);
  r.line_mask = _mm512_set1_epi32(~(kWindowBytes - 1));
  r.next_line = _mm512_set1_epi8(kWindowBytes);
  r.low_word_twice = _mm512_set4_epi32(0x0D0C0D0C, 0x09080908, 0x05040504, 0x01000100);
  r.low_complement = _mm512_set1_epi32(kWeightOne - 1);
  r.fraction_pair = _mm512_set1_epi32((kWeightOne - 1) * 0x10001);
  r.rounding = _mm512_set1_epi32(1 << (kWeightBits - 1));
  r.tap_bytes = 0x5555555555555555ull;
  // Byte 3 of every lane of two groups, a's then b's: byte k of the result is byte 4k + 3 of
  // the two vectors side by side.
  r.samples = _mm512_set_epi32(0, 0, 0, 0, 0, 0, 0, 0, 0x7F7B7773, 0x6F6B6763, 0x5F5B5753,
                               0x4F4B4743, 0x3F3B3733, 0x2F2B2723, 0x1F1B1713, 0x0F0B0703);
  return r;
}

// What the groups of a line's cells need, worked out for all of them at once. A group's lowest
// column and line lie at one of its ends (positions are linear), the same end for both groups
// of a cell, and its lane positions are slope * position after it.
struct DlLine {
  int32_t slope_x[kCellsAtOnce], slope_y[kCellsAtOnce];
  // Per group (two per cell): the fraction of its lowest position, less the offset of its
  // lowest lane (so a lane's position from the group's first column and line is slope * its
  // position + this); the window's first byte from the plane's sample (0, 0); whether the
  // window holds the group.
  int32_t from_x[2 * kCellsAtOnce], from_y[2 * kCellsAtOnce];
  int32_t window[2 * kCellsAtOnce];
  uint8_t fits[2 * kCellsAtOnce];
};

// The line's cells [0, count), whose corner columns are above[axis][0 .. count] and
// below[axis][0 .. count], 16 cells at a time. Line kj (in luma lines) of a cell has its left
// edge at above * (16 - kj) + below * kj, in corner units times kMeshStepY, as warp_cells.h's
// cell_position has it.
template <int kSub>
LENSWARP_VNNI HWY_INLINE void dl_line(const DlRow<kSub> &r, const int32_t *const above[2],
                                      const int32_t *const below[2], int32_t kj,
                                      const bool *windows, int count, DlLine *l) {
  using R = DlRow<kSub>;
  const __m512i unit_mask = _mm512_set1_epi32((1 << R::kShift) - 1);
  const __m512i stride = _mm512_set1_epi32((int32_t)r.stride);
  const __m512i weight_above = _mm512_set1_epi32(kMeshStepY - kj);
  const __m512i weight_below = _mm512_set1_epi32(kj);
  for (int k = 0; k < count; k += 16) {
    // Loads masked to the cells there are (their right edges one further): nothing beyond the
    // mesh is read.
    const __mmask16 cells = (__mmask16)((1u << std::min(16, count - k)) - 1);
    __m512i slope[2], low[2], wide[2], lowest[2][2];
    for (int axis = 0; axis < 2; ++axis) {
      const __m512i e0 = _mm512_add_epi32(
          _mm512_mullo_epi32(_mm512_maskz_loadu_epi32(cells, above[axis] + k), weight_above),
          _mm512_mullo_epi32(_mm512_maskz_loadu_epi32(cells, below[axis] + k), weight_below));
      const __m512i e1 = _mm512_add_epi32(
          _mm512_mullo_epi32(_mm512_maskz_loadu_epi32(cells, above[axis] + k + 1), weight_above),
          _mm512_mullo_epi32(_mm512_maskz_loadu_epi32(cells, below[axis] + k + 1), weight_below));
      slope[axis] = _mm512_mullo_epi32(_mm512_sub_epi32(e1, e0), _mm512_set1_epi32(kSub));
      const __m512i reach = _mm512_mullo_epi32(slope[axis], _mm512_set1_epi32(R::kPerGroup - 1));
      low[axis] = _mm512_min_epi32(reach, _mm512_setzero_si512());
      wide[axis] = _mm512_abs_epi32(reach);
      // In 32 bits while the corners stay under kVectorCornerLimit.
      lowest[axis][0] = _mm512_add_epi32(_mm512_slli_epi32(e0, 5), low[axis]);
      lowest[axis][1] = _mm512_add_epi32(
          lowest[axis][0], _mm512_mullo_epi32(slope[axis], _mm512_set1_epi32(R::kPerGroup)));
    }
    _mm512_storeu_si512(l->slope_x + k, slope[0]);
    _mm512_storeu_si512(l->slope_y + k, slope[1]);
    const __mmask16 inside_buffer = _mm512_cmpneq_epi32_mask(
        _mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(cells, windows + k)), _mm512_setzero_si512());
    __m512i from_x[2], from_y[2], window[2];
    __mmask16 fits[2], deep[2];
    for (int h = 0; h < 2; ++h) {
      const __m512i gx = lowest[0][h], gy = lowest[1][h];
      const __m512i x0 = _mm512_srai_epi32(gx, R::kShift), y0 = _mm512_srai_epi32(gy, R::kShift);
      const __m512i columns =
          _mm512_sub_epi32(_mm512_srai_epi32(_mm512_add_epi32(gx, wide[0]), R::kShift), x0);
      const __m512i lines =
          _mm512_sub_epi32(_mm512_srai_epi32(_mm512_add_epi32(gy, wide[1]), R::kShift), y0);
      fits[h] = inside_buffer &
                _mm512_cmple_epi32_mask(_mm512_mullo_epi32(columns, _mm512_set1_epi32(kSub)),
                                        _mm512_set1_epi32(kWindowBytes - 2 * kSub)) &
                _mm512_cmple_epi32_mask(lines, _mm512_set1_epi32(kMaxSpan));
      deep[h] = _mm512_cmpeq_epi32_mask(lines, _mm512_set1_epi32(kMaxSpan));
      from_x[h] = _mm512_sub_epi32(_mm512_and_si512(gx, unit_mask), low[0]);
      from_y[h] = _mm512_sub_epi32(_mm512_and_si512(gy, unit_mask), low[1]);
      window[h] = _mm512_add_epi32(_mm512_mullo_epi32(y0, stride),
                                   _mm512_mullo_epi32(x0, _mm512_set1_epi32(kSub)));
    }
    // Groups in cell order: the two of cell k side by side.
    const __m512i first_half =
        _mm512_set_epi32(23, 7, 22, 6, 21, 5, 20, 4, 19, 3, 18, 2, 17, 1, 16, 0);
    const __m512i second_half = _mm512_add_epi32(first_half, _mm512_set1_epi32(8));
    const __m512i *sources[3][2] = {
        {&from_x[0], &from_x[1]}, {&from_y[0], &from_y[1]}, {&window[0], &window[1]}};
    int32_t *targets[3] = {l->from_x, l->from_y, l->window};
    for (int a = 0; a < 3; ++a) {
      _mm512_storeu_si512(targets[a] + 2 * k,
                          _mm512_permutex2var_epi32(*sources[a][0], first_half, *sources[a][1]));
      _mm512_storeu_si512(targets[a] + 2 * k + 16,
                          _mm512_permutex2var_epi32(*sources[a][0], second_half, *sources[a][1]));
    }
    for (int i = 0; i < 16; ++i) {
      l->fits[2 * (k + i)] = (uint8_t)(((fits[0] >> i) & 1) << ((deep[0] >> i) & 1));
      l->fits[2 * (k + i) + 1] = (uint8_t)(((fits[1] >> i) & 1) << ((deep[1] >> i) & 1));
    }
  }
}

// A group's samples, each times 4 (so that byte 3 of a lane is its sample), from its lanes'
// positions from its first column and line (qx, qy).
template <int kSub>
LENSWARP_VNNI HWY_INLINE __m512i dl_group(const DlRow<kSub> &r, const DlLine &l, int g, __m512i qx,
                                          __m512i qy) {
  using R = DlRow<kSub>;
  __m512i upper, lower;
  if (l.fits[g]) {
    const uint8_t *p = r.plane + l.window[g];
    _mm_prefetch(reinterpret_cast<const char *>(p + kPrefetchLines * r.stride), _MM_HINT_T0);
    const __m512i lines01 = _mm512_inserti64x4(
        _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p))),
        _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + r.stride)), 1);
    const __m512i lines23 = _mm512_inserti64x4(
        _mm512_castsi256_si512(
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 2 * r.stride))),
        _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 3 * r.stride)), 1);
    // The upper-left tap's byte b in bytes 0 and 2 of the lane's index (b = kSub * column + 32 *
    // line: the two do not overlap, so an OR adds them), then lane_index adds the channel to
    // both and kSub to byte 2, the upper-right tap's.
    __m512i column = _mm512_srai_epi32(qx, R::kShift);
    if (kSub == 2) column = _mm512_add_epi32(column, column);
    constexpr int kAOrBAndC = 0xEA;  // ternary logic: (a & b) | c
    const __m512i b = _mm512_ternarylogic_epi32(_mm512_srai_epi32(qy, R::kShift - 5), r.line_mask,
                                                column, kAOrBAndC);
    const __m512i index = _mm512_add_epi32(_mm512_shuffle_epi8(b, r.low_word_twice), r.lane_index);
    upper = _mm512_maskz_permutex2var_epi8(r.tap_bytes, lines01, index, lines23);
    if (l.fits[g] == 1) {
      lower = _mm512_maskz_permutex2var_epi8(r.tap_bytes, lines01,
                                             _mm512_add_epi8(index, r.next_line), lines23);
    } else {
      // A group on four lines: its lower taps from lines 1 to 4.
      const __m512i lines12 = _mm512_inserti64x4(
          _mm512_castsi256_si512(_mm512_extracti64x4_epi64(lines01, 1)),
          _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 2 * r.stride)), 1);
      const __m512i lines34 = _mm512_inserti64x4(
          _mm512_castsi256_si512(_mm512_extracti64x4_epi64(lines23, 1)),
          _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 4 * r.stride)), 1);
      lower = _mm512_maskz_permutex2var_epi8(r.tap_bytes, lines12, index, lines34);
    }
  } else {
    _mm_prefetch(reinterpret_cast<const char *>(r.plane + l.window[g] + kPrefetchLines * r.stride),
                 _MM_HINT_T0);
    const __m512i column = _mm512_srai_epi32(qx, R::kShift);
    const __m512i line = _mm512_srai_epi32(qy, R::kShift);
    const V32 offset =
        hn::Add(hn::Set(D32(), (int32_t)r.in->origin + l.window[g]),
                hn::Add(V32{kSub == 2 ? _mm512_add_epi32(column, column) : column},
                        V32{_mm512_mullo_epi32(line, _mm512_set1_epi32((int32_t)r.stride))}));
    const Taps taps = gather_taps<kSub>(*r.in, offset, V32{r.channel});
    upper = taps.upper.raw;
    lower = taps.lower.raw;
  }
  // interpolate() of warp_cells.h, times 4. The weights (2048 - fx) | fx << 16 for the pairwise
  // multiply-adds: fx in both halves, its complement in the low one, plus one. Then
  // t0 + 1024 (2^21 over 2048) and t1 - t0 from the taps' differences, and
  // (t1 - t0) * fy * 4 + (t0 + 1024) * 2048 * 4, exact modulo 2^32.
  const __m512i fractions =
      _mm512_shuffle_epi8(_mm512_srai_epi32(qx, R::kFracShift), r.low_word_twice);
  constexpr int kAXorBAndC = 0x28;  // ternary logic: (a ^ b) & c
  const __m512i weights = _mm512_add_epi32(
      _mm512_ternarylogic_epi32(fractions, r.low_complement, r.fraction_pair, kAXorBAndC), r.one);
  const __m512i fy4 = _mm512_and_si512(_mm512_srai_epi32(qy, R::kFracShift - 2), r.fy_mask);
  const __m512i t0 = _mm512_dpwssd_epi32(r.rounding, upper, weights);
  const __m512i d = _mm512_madd_epi16(_mm512_sub_epi16(lower, upper), weights);
  return _mm512_add_epi32(_mm512_mullo_epi32(d, fy4), _mm512_slli_epi32(t0, kWeightBits + 2));
}

// Line kj (in luma lines) of a plane row's cells [0, count) that are whole and inside the
// input (run_end[k] > k, as warp_plane_row marks them), whose corner columns are above and
// below, as dl_line takes them; `dst` is the line. Not inlined, so that the compiler takes the
// constants of `row` as they come, in registers, rather than making them afresh for every
// group.
template <int kSub>
LENSWARP_VNNI HWY_NOINLINE void dl_cells(const DlRow<kSub> &row, const int32_t *const above[2],
                                         const int32_t *const below[2], int32_t kj,
                                         const bool *windows, int count, const int *run_end,
                                         uint8_t *dst) {
  const DlRow<kSub> r = row;
  DlLine l;
  dl_line<kSub>(r, above, below, kj, windows, count, &l);
  for (int k = 0; k < count; ++k) {
    if (run_end[k] <= k) continue;  // done by the caller
    const __m512i ramp_x = _mm512_mullo_epi32(_mm512_set1_epi32(l.slope_x[k]), r.position);
    const __m512i ramp_y = _mm512_mullo_epi32(_mm512_set1_epi32(l.slope_y[k]), r.position);
    const __m512i a =
        dl_group<kSub>(r, l, 2 * k, _mm512_add_epi32(ramp_x, _mm512_set1_epi32(l.from_x[2 * k])),
                       _mm512_add_epi32(ramp_y, _mm512_set1_epi32(l.from_y[2 * k])));
    const __m512i b = dl_group<kSub>(
        r, l, 2 * k + 1, _mm512_add_epi32(ramp_x, _mm512_set1_epi32(l.from_x[2 * k + 1])),
        _mm512_add_epi32(ramp_y, _mm512_set1_epi32(l.from_y[2 * k + 1])));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + k * kMeshStepX),
                        _mm512_castsi512_si256(_mm512_permutex2var_epi8(a, r.samples, b)));
  }
}
#endif

// Line j of a cell whose taps all lie inside the input, from its left edge's position
// (start_x, start_y: 1 / 2^position_shift(kSub) samples) and its slopes per sample. Windows are
// allowed where the cell's reach stays inside the buffer (`windows`).
template <int kSub>
HWY_INLINE void warp_cell_line_inside(const InPlane &in, const OutPlane &out, const CellArea &area,
                                      const PlaneLanes<kSub> &lanes, int j, int32_t start_x,
                                      int32_t slope_x, int32_t start_y, int32_t slope_y,
                                      bool windows, const Mesh &mesh, int c, int row) {
  (void)windows;  // gathers only, on targets without windows
  const D32 d;
  const hn::Rebind<uint8_t, D32> d8;
  constexpr int kShift = position_shift(kSub);
  constexpr int kFracShift = kShift - kWeightBits;
  const int n = (int)hn::Lanes(d);
  const int per_group = n / kSub;  // positions, each kSub lanes
  const int groups = per_group > 0 ? area.cols / per_group : 0;
  uint8_t *dst = out.origin + (ptrdiff_t)(area.y0 + j) * out.stride + area.x0 * kSub;
  if (per_group == 0) {
    // One lane, fewer than a chroma position's two channels: U and V of each position in turn.
    const V32 frac_mask = hn::Set(d, kWeightOne - 1);
    for (int i = 0; i < area.cols; ++i) {
      const V32 px = hn::Set(d, start_x + slope_x * i), py = hn::Set(d, start_y + slope_y * i);
      const V32 fx = hn::And(hn::ShiftRight<kFracShift>(px), frac_mask);
      const V32 fy = hn::And(hn::ShiftRight<kFracShift>(py), frac_mask);
      const V32 ix = hn::ShiftRight<kShift>(px), iy = hn::ShiftRight<kShift>(py);
      const V32 offset = hn::Add(hn::Add(hn::Set(d, (int32_t)in.origin), hn::Add(ix, ix)),
                                 hn::Mul(iy, hn::Set(d, (int32_t)in.stride)));
      const V32 weights = hn::Or(hn::Sub(hn::Set(d, kWeightOne), fx), hn::ShiftLeft<16>(fx));
      // U0 V0 U1 V1 of both lines: U's taps are bytes 0 and 2, V's bytes 1 and 3.
      const int32_t *base = reinterpret_cast<const int32_t *>(in.base);
      const V32 upper = hn::GatherOffset(d, base, offset);
      const V32 lower = hn::GatherOffset(d, base, hn::Add(offset, hn::Set(d, (int32_t)in.stride)));
      const V32 bytes_0_and_2 = hn::Set(d, 0x00FF00FF);
      const V32 u = interpolate_pairs(hn::And(upper, bytes_0_and_2), hn::And(lower, bytes_0_and_2),
                                      fx, fy, weights);
      const V32 v =
          interpolate_pairs(hn::And(hn::ShiftRight<8>(upper), bytes_0_and_2),
                            hn::And(hn::ShiftRight<8>(lower), bytes_0_and_2), fx, fy, weights);
      dst[kSub * i] = (uint8_t)hn::GetLane(u);
      dst[kSub * i + 1] = (uint8_t)hn::GetLane(v);
    }
    return;
  }
  if (groups > 0) {
    const V32 frac_mask = hn::Set(d, kWeightOne - 1);
    const V32 ramp_x = hn::Mul(hn::Set(d, slope_x), lanes.position);
    const V32 ramp_y = hn::Mul(hn::Set(d, slope_y), lanes.position);
#if LENSWARP_WINDOWS && HWY_TARGET != HWY_AVX3_DL
    // Positions are linear along the line, so a group's lowest and highest column and line lie
    // at its ends.
    const int32_t reach_x = slope_x * (per_group - 1), reach_y = slope_y * (per_group - 1);
#endif
    const int32_t step_x = slope_x * per_group, step_y = slope_y * per_group;
    int32_t gx = start_x, gy = start_y;
    for (int g = 0; g < groups; ++g, gx += step_x, gy += step_y) {
      const V32 px = hn::Add(hn::Set(d, gx), ramp_x), py = hn::Add(hn::Set(d, gy), ramp_y);
      const V32 fx = hn::And(hn::ShiftRight<kFracShift>(px), frac_mask);
      const V32 fy = hn::And(hn::ShiftRight<kFracShift>(py), frac_mask);
      const V32 ix = hn::ShiftRight<kShift>(px), iy = hn::ShiftRight<kShift>(py);
      Taps taps;
#if LENSWARP_WINDOWS && HWY_TARGET != HWY_AVX3_DL
      const int32_t x0 = std::min(gx, gx + reach_x) >> kShift;
      const int32_t x1 = std::max(gx, gx + reach_x) >> kShift;
      const int32_t y0 = std::min(gy, gy + reach_y) >> kShift;
      const int span = (std::max(gy, gy + reach_y) >> kShift) - y0;
      if (windows && kSub * (x1 - x0) + 2 * kSub <= kWindowBytes && span <= kMaxSpan) {
        const ptrdiff_t window = in.origin + (ptrdiff_t)y0 * in.stride + (ptrdiff_t)x0 * kSub;
        hwy::Prefetch(in.base + window + kPrefetchLines * in.stride);
        // The upper-left tap's byte in the window, and the upper-right tap's kSub further.
        V32 first = hn::Sub(ix, hn::Set(d, x0));
        if (kSub == 2) first = hn::Add(first, first);
        const V32 index =
            hn::Add(hn::Add(first, hn::ShiftLeft<16>(first)),
                    hn::Add(lanes.channel_x2, hn::Set(d, (int32_t)(0x80008000u + (kSub << 16)))));
        taps = window_taps(in, window, span, index, hn::Sub(iy, hn::Set(d, y0)));
      } else
#endif
      {
#if HWY_TARGET != HWY_SCALAR  // where one sample is not worth it
        // Ahead of the group's first lane, as for windows (a prefetch never faults).
        hwy::Prefetch(in.base + in.origin +
                      (ptrdiff_t)((gy >> kShift) + kPrefetchLines) * in.stride +
                      (ptrdiff_t)(gx >> kShift) * kSub);
#endif
        const V32 column = kSub == 2 ? hn::Add(ix, ix) : ix;
        const V32 offset = hn::Add(hn::Add(hn::Set(d, (int32_t)in.origin), column),
                                   hn::Mul(iy, hn::Set(d, (int32_t)in.stride)));
        taps = gather_taps<kSub>(in, offset, lanes.channel);
      }
      const V32 weights = hn::Or(hn::Sub(hn::Set(d, kWeightOne), fx), hn::ShiftLeft<16>(fx));
      const V32 v = interpolate_pairs(taps.upper, taps.lower, fx, fy, weights);
      hn::StoreU(hn::DemoteTo(d8, v), d8, dst + g * n);
    }
  }
  if (groups * per_group < area.cols) {
    static const uint8_t kNoBackground[2] = {0, 0};  // taps are inside: never used
    warp_cell_line_scalar(in, out, cell_corners(mesh, c, row), area, j, groups * per_group,
                          kBorderNearest, kNoBackground);
  }
}

// Cells of a row classified at a time, and so the longest stretch of a line run in one go.

// One cell row of a plane: its cells classified once, then line by line across them, vector
// code inside the input, the background, or the scalar code per sample.
template <int kSub>
void warp_plane_row(const WarpJob &job, const InPlane &in, const OutPlane &out, int row,
                    const uint8_t *bg) {
  const Mesh &mesh = job.mesh;
  const int cells = mesh.geometry.cols - 1;
  const PlaneLanes<kSub> lanes = plane_lanes<kSub>();
  for (int first = 0; first < cells; first += kCellsAtOnce) {
    CellKind kind[kCellsAtOnce];
    bool windows[kCellsAtOnce + 16] = {};  // room for 16 more, which the vector code reads
    CellArea areas[kCellsAtOnce];
    int count = std::min(kCellsAtOnce, cells - first);
    for (int k = 0; k < count; ++k) {
      const int c = first + k;
      areas[k] = cell_area(out, c, row, kSub);
      if (areas[k].cols <= 0 || areas[k].rows <= 0) {
        count = k;
        break;
      }
      const CellCorners cc = cell_corners(mesh, c, row);
      kind[k] = classify_cell(cc, in, kSub, job.settings.border_mode);
      // Windows read kWindowLines lines of kWindowBytes from a group's first tap, which must
      // stay inside the buffer: corners are in 1/256 luma pixel.
      const int64_t max_x = std::max({cc.x[0], cc.x[1], cc.x[2], cc.x[3]}) / (256 * kSub);
      const int64_t max_y = std::max({cc.y[0], cc.y[1], cc.y[2], cc.y[3]}) / (256 * kSub);
      windows[k] = LENSWARP_WINDOWS && in.origin + (max_y + kWindowLines - 1) * in.stride +
                                               max_x * kSub + kWindowBytes <=
                                           in.limit;
    }
    if (count == 0) return;
#if HWY_TARGET == HWY_AVX3_DL
    // Runs of whole cells inside the input go through dl_cells, the run starting at a cell
    // ending before run_end[k].
    int run_end[kCellsAtOnce];
    for (int k = count - 1; k >= 0; --k) {
      const bool whole = kind[k] == CellKind::kInside && areas[k].cols * kSub == kMeshStepX;
      run_end[k] = !whole ? k : k + 1 < count && run_end[k + 1] > k + 1 ? run_end[k + 1] : k + 1;
    }
    const DlRow<kSub> dl = dl_row<kSub>(in, lanes);
    const bool all_in_runs = run_end[0] == count;
#else
    constexpr bool all_in_runs = false;
#endif
    const size_t cols = (size_t)mesh.geometry.cols;
    const int32_t *x_above = mesh.x.data() + (size_t)row * cols + first;
    const int32_t *y_above = mesh.y.data() + (size_t)row * cols + first;
    const int32_t *x_below = x_above + cols, *y_below = y_above + cols;
    for (int j = 0; j < areas[0].rows; ++j) {
      // A line's left edge in cell k, as warp_cells.h's cell_position has it: the corner columns
      // blended down the cell, in corner units times kMeshStepY.
      const int32_t kj = kSub * j;
      auto edge = [&](const int32_t *above, const int32_t *below, int k) {
        return above[k] * (kMeshStepY - kj) + below[k] * kj;
      };
#if HWY_TARGET == HWY_AVX3_DL
      const int32_t *const above[2] = {x_above, y_above}, *const below[2] = {x_below, y_below};
      dl_cells<kSub>(
          dl, above, below, kj, windows, count, run_end,
          out.origin + (ptrdiff_t)(areas[0].y0 + j) * out.stride + (ptrdiff_t)first * kMeshStepX);
#endif
      for (int k = 0; k < count && !all_in_runs; ++k) {
        const CellArea &area = areas[k];
#if HWY_TARGET == HWY_AVX3_DL
        if (run_end[k] > k) continue;  // done by dl_cells above
#endif
        switch (kind[k]) {
          case CellKind::kInside:
            // In 32 bits while the corners stay under kVectorCornerLimit.
            {
              const int32_t left_x = edge(x_above, x_below, k), left_y = edge(y_above, y_below, k);
              warp_cell_line_inside<kSub>(in, out, area, lanes, j, left_x * kMeshStepX,
                                          (edge(x_above, x_below, k + 1) - left_x) * kSub,
                                          left_y * kMeshStepX,
                                          (edge(y_above, y_below, k + 1) - left_y) * kSub,
                                          windows[k], mesh, first + k, row);
            }
            break;
          case CellKind::kBackground:
            fill_cell_line(out, area, j, bg);
            break;
          case CellKind::kMixed:
            warp_cell_line_scalar(in, out, cell_corners(mesh, first + k, row), area, j, 0,
                                  job.settings.border_mode, bg);
            break;
        }
      }
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

#include <string.h>

namespace lenswarp {
namespace {

// The compiled vector kernels, in the order the default is chosen by: the fastest first, as
// fec_engine_bench measures them (the README gives the figures). AVX3 gathers its taps, which
// makes it slower than AVX2's windows on the same CPU.
const WarpKernel kVectorKernels[] = {
#if HWY_TARGETS & HWY_AVX3_DL
    {"AVX3_DL", HWY_AVX3_DL, &N_AVX3_DL::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_AVX2
    {"AVX2", HWY_AVX2, &N_AVX2::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_AVX3
    {"AVX3", HWY_AVX3, &N_AVX3::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_SSE4
    {"SSE4", HWY_SSE4, &N_SSE4::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_SSSE3
    {"SSSE3", HWY_SSSE3, &N_SSSE3::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_NEON
    {"NEON", HWY_NEON, &N_NEON::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_EMU128
    {"EMU128", HWY_EMU128, &N_EMU128::warp_mesh_row_vector},
#endif
#if HWY_TARGETS & HWY_SCALAR
    {"SCALAR", HWY_SCALAR, &N_SCALAR::warp_mesh_row_vector},
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

}  // namespace

std::vector<const WarpKernel *> warp_kernels() {
  static const int64_t cpu = cpu_targets();
  std::vector<const WarpKernel *> kernels = {&scalar_kernel()};
  for (const WarpKernel &k : kVectorKernels) {
    if (k.target & cpu) kernels.push_back(&k);
  }
  return kernels;
}

const WarpKernel *find_warp_kernel(const char *name) {
  for (const WarpKernel *k : warp_kernels()) {
    if (strcmp(k->name, name) == 0) return k;
  }
  return nullptr;
}

const WarpKernel &default_warp_kernel() {
  static const WarpKernel &best = *[] {
    const std::vector<const WarpKernel *> kernels = warp_kernels();
    return kernels.size() > 1 ? kernels[1] : kernels[0];
  }();
  return best;
}

}  // namespace lenswarp
#endif  // HWY_ONCE
