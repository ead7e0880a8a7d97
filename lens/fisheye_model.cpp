#include "fisheye_model.h"

#include <errno.h>

#include <algorithm>
#include <cmath>

namespace lenswarp {
namespace {

// Samples of the lens's field; the radius is then refined by Newton's method, so the table only
// has to bracket the root.
constexpr int kFieldSamples = 4096;
// A point the lens cannot see is sent this many field radii out, well outside the input.
constexpr double kBeyondFieldFactor = 4.0;
// Points of a mesh row computed together: each step is a loop over them whose iterations do
// not wait for each other, so the CPU overlaps their long chains of divisions.
constexpr int kBatch = 64;

bool finite(double v) {
  return std::isfinite(v);
}

}  // namespace

int check_online_config(const FecOnlineConfig &cfg) {
  for (double c : cfg.coeff) {
    if (!finite(c)) return EINVAL;
  }
  if (!(cfg.coeff[0] < 0)) return EINVAL;
  if (cfg.calib_width <= 0 || cfg.calib_height <= 0) return EINVAL;
  const double cx = cfg.light_center[0], cy = cfg.light_center[1];
  if (!finite(cx) || !finite(cy)) return EINVAL;
  if (cx < 0 || cx >= cfg.calib_width || cy < 0 || cy >= cfg.calib_height) return EINVAL;
  if (cfg.calib_level_maxLimit <= 0) return EINVAL;
  if (cfg.correct_level < 0 || cfg.correct_level > cfg.calib_level_maxLimit) return EINVAL;
  if (cfg.direction != kDirectionBoth && cfg.direction != kDirectionHorizontal &&
      cfg.direction != kDirectionVertical) {
    return EINVAL;
  }
  if (cfg.style != kStyleKeepCentre && cfg.style != kStyleFitWidth) return EINVAL;
  return 0;
}

FisheyeLens::FisheyeLens(const FecOnlineConfig &cfg)
    : mCentreX(cfg.light_center[0]), mCentreY(cfg.light_center[1]), mCalibWidth(cfg.calib_width) {
  std::copy(cfg.coeff, cfg.coeff + 4, mCoeff);
  // The field reaches at least the farthest corner of the calibration picture.
  const double reach = std::hypot((double)cfg.calib_width, (double)cfg.calib_height);
  mStep = reach / kFieldSamples;
  mTangents.reserve(kFieldSamples + 1);
  mTangents.push_back(0.0);
  for (int k = 1; k <= kFieldSamples; ++k) {
    const double rho = k * mStep;
    const double z = axial(rho);
    if (!(z < 0)) break;  // the ray no longer points forward
    const double t = rho / -z;
    if (!(t > mTangents.back())) break;  // the polynomial folds back: the field ends
    mTangents.push_back(t);
  }
}

double FisheyeLens::axial(double rho) const {
  const double rho2 = rho * rho;
  return mCoeff[0] + rho2 * (mCoeff[1] + rho * (mCoeff[2] + rho * mCoeff[3]));
}

double FisheyeLens::radius_for_tangent(double tangent) const {
  if (!(tangent >= 0)) return -1;
  if (tangent == 0) return 0;
  if (tangent > mTangents.back()) return -1;
  const size_t k =
      (size_t)(std::lower_bound(mTangents.begin(), mTangents.end(), tangent) - mTangents.begin());
  const double lo = (double)(k - 1) * mStep, hi = (double)k * mStep;
  // h(rho) = rho + tangent * f(rho) rises through 0 inside [lo, hi].
  const double t_lo = mTangents[k - 1], t_hi = mTangents[k];
  return newton(tangent, lo + (hi - lo) * (tangent - t_lo) / (t_hi - t_lo), lo, hi);
}

void FisheyeLens::radii_for_tangents(int n, const double *tangents, const double *guesses,
                                     double *radii) const {
  // Inside the field the root is the only one (h rises all the way), so Newton's method from a
  // close guess needs no bracket: two steps, taken without a branch in a loop the compiler
  // vectorizes, reach it to the last bits. Their outcome is checked: the second step must be
  // the smaller, and so small (the steps shrinking quadratically) that a third would change
  // nothing, and the root must lie in the field. Anything else (no guess, no root, a guess too
  // far, a root where the field folds back, which Newton approaches slowly) is marked NaN and
  // goes the way of radius_for_tangent.
  const double t_end = mTangents.back(), rho_end = (double)(mTangents.size() - 1) * mStep;
  for (int i = 0; i < n; ++i) {
    const double t = tangents[i];
    const bool search = (t > 0) & (t <= t_end) & (guesses[i] > 0);
    const double rho0 = search ? guesses[i] : NAN;
    const double rho1 = rho0 - (rho0 + t * axial(rho0)) / slope(t, rho0);
    const double rho2 = rho1 - (rho1 + t * axial(rho1)) / slope(t, rho1);
    // The error left after a step is about its size squared times the convergence constant,
    // and the two steps estimate that constant: the error is about d2^3 / d1^2.
    const double d1 = std::fabs(rho1 - rho0), d2 = std::fabs(rho2 - rho1);
    const bool done = (d2 * d2 * d2 <= 1e-14 * (1.0 < rho2 ? rho2 : 1.0) * d1 * d1) & (d2 <= d1) &
                      (rho2 > 0) & (rho2 <= rho_end);
    radii[i] = done ? rho2 : NAN;
  }
  for (int i = 0; i < n; ++i) {
    if (std::isnan(radii[i])) radii[i] = radius_for_tangent(tangents[i]);
  }
}

double FisheyeLens::slope(double tangent, double rho) const {
  return 1 + tangent * rho * (2 * mCoeff[1] + rho * (3 * mCoeff[2] + rho * 4 * mCoeff[3]));
}

double FisheyeLens::newton(double tangent, double rho, double lo, double hi) const {
  for (int i = 0; i < 40; ++i) {
    const double h = rho + tangent * axial(rho);
    if (h == 0) break;
    if (h < 0) {
      lo = rho;
    } else {
      hi = rho;
    }
    double next = rho - h / slope(tangent, rho);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);  // Newton left the bracket: bisect
    const double change = std::fabs(next - rho);
    rho = next;
    if (change <= 1e-12 * std::max(1.0, rho)) break;
  }
  return rho;
}

double FisheyeLens::corrected_focal(int32_t style) const {
  if (style != kStyleFitWidth) return -mCoeff[0];
  // The picture's left edge lies at -0.5 and its right edge at width - 0.5.
  const double d = std::min(mCentreX + 0.5, mCalibWidth - 0.5 - mCentreX);
  const double limit = kFitWidthMaxAngleDeg * M_PI / 180.0;
  const double z = axial(d);
  double angle = z < 0 ? std::atan(d / -z) : limit;
  angle = std::min(angle, limit);
  return d / std::tan(angle);
}

MeshGenerator::MeshGenerator(const FecOnlineConfig &cfg, int in_width, int in_height, int out_width,
                             int out_height)
    : mCfg(cfg),
      mLens(cfg),
      mFocal(mLens.corrected_focal(cfg.style)),
      mInWidth(in_width),
      mInHeight(in_height),
      mOutWidth(out_width),
      mOutHeight(out_height),
      mLevel((double)cfg.correct_level / cfg.calib_level_maxLimit),
      mBeyond(kBeyondFieldFactor * std::hypot((double)cfg.calib_width, (double)cfg.calib_height)) {}

// Pixel centres line up: the identity scales the output onto the input, and the corrected view
// spans the calibration picture.
MeshGenerator::Axis MeshGenerator::axis_x(double x) const {
  return {(x + 0.5) * mInWidth / mOutWidth - 0.5,
          (x + 0.5) * mCfg.calib_width / mOutWidth - 0.5 - mLens.centre_x()};
}

MeshGenerator::Axis MeshGenerator::axis_y(double y) const {
  return {(y + 0.5) * mInHeight / mOutHeight - 0.5,
          (y + 0.5) * mCfg.calib_height / mOutHeight - 0.5 - mLens.centre_y()};
}

void MeshGenerator::source_row(int n, const Axis *columns, const Axis &row, double *ratios,
                               SourcePoint *points) const {
  const double cw = mCfg.calib_width, ch = mCfg.calib_height, dy = row.offset;
  // An axis that does not follow the correction keeps the identity: x + 0 * (full - x) is x.
  const double level_x = mCfg.direction != kDirectionVertical ? mLevel : 0;
  const double level_y = mCfg.direction != kDirectionHorizontal ? mLevel : 0;
  for (int done = 0; done < n; done += kBatch) {
    const int m = std::min(kBatch, n - done);
    const Axis *ax = columns + done;
    double *ratio = ratios + done;
    double r[kBatch], tangent[kBatch], guess[kBatch], rho[kBatch];
    for (int i = 0; i < m; ++i) {
      r[i] = std::sqrt(ax[i].offset * ax[i].offset + dy * dy);
      tangent[i] = r[i] / mFocal;
      guess[i] = r[i] * ratio[i];
    }
    mLens.radii_for_tangents(m, tangent, guess, rho);
    for (int i = 0; i < m; ++i) {
      const double dx = ax[i].offset;
      // The fisheye radius over the pinhole radius; the centre itself stays.
      const double found = (rho[i] < 0 ? mBeyond : rho[i]) / r[i];
      const double scale = r[i] > 0 ? found : 0;
      ratio[i] = (r[i] > 0) & (rho[i] >= 0) ? found : NAN;
      const double full_x = (mLens.centre_x() + dx * scale + 0.5) * mInWidth / cw - 0.5;
      const double full_y = (mLens.centre_y() + dy * scale + 0.5) * mInHeight / ch - 0.5;
      const double x = ax[i].identity, y = row.identity;
      points[done + i] = {x + (full_x - x) * level_x, y + (full_y - y) * level_y};
    }
  }
}

SourcePoint MeshGenerator::source(double x, double y) const {
  const Axis ax = axis_x(x);
  double ratio = 0;
  SourcePoint p;
  source_row(1, &ax, axis_y(y), &ratio, &p);
  return p;
}

int generate_mesh(const FecOnlineConfig &cfg, int in_width, int in_height, int out_width,
                  int out_height, Mesh *mesh) {
  if (check_online_config(cfg) != 0) return EINVAL;
  if (in_width <= 0 || in_height <= 0 || out_width <= 0 || out_height <= 0) return EINVAL;
  MeshGenerator generator(cfg, in_width, in_height, out_width, out_height);
  Mesh m;
  m.geometry = mesh_geometry(out_width, out_height);
  m.x.resize(m.geometry.points());
  m.y.resize(m.geometry.points());
  const size_t cols = (size_t)m.geometry.cols;
  std::vector<MeshGenerator::Axis> columns(cols);
  for (size_t c = 0; c < cols; ++c) columns[c] = generator.axis_x((double)c * kMeshStepX);
  // A point's radius over its pinhole radius changes smoothly down a column, so the step
  // between the two points above it, taken again, guesses it closely (0: no guess, in the first
  // two rows or next to a point without one).
  std::vector<double> ratios(cols, 0), above(cols, NAN), above2(cols, NAN);
  std::vector<SourcePoint> points(cols);
  for (int r = 0; r < m.geometry.rows; ++r) {
    for (size_t c = 0; c < cols; ++c) {
      const double guess = 2 * above[c] - above2[c];
      ratios[c] = std::isnan(guess) ? 0 : guess;
    }
    generator.source_row((int)cols, columns.data(), generator.axis_y(r * kMeshStepY), ratios.data(),
                         points.data());
    above2.swap(above);
    above.swap(ratios);
    for (size_t c = 0; c < cols; ++c) {
      m.x[(size_t)r * cols + c] = quantize_position(points[c].x);
      m.y[(size_t)r * cols + c] = quantize_position(points[c].y);
    }
  }
  *mesh = std::move(m);
  return 0;
}

}  // namespace lenswarp
