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
  double lo = (double)(k - 1) * mStep, hi = (double)k * mStep;
  // h(rho) = rho + tangent * f(rho) rises through 0 inside [lo, hi].
  const double t_lo = mTangents[k - 1], t_hi = mTangents[k];
  double rho = lo + (hi - lo) * (tangent - t_lo) / (t_hi - t_lo);
  for (int i = 0; i < 40; ++i) {
    const double h = rho + tangent * axial(rho);
    if (h == 0) break;
    if (h < 0) {
      lo = rho;
    } else {
      hi = rho;
    }
    const double slope =
        1 + tangent * rho * (2 * mCoeff[1] + rho * (3 * mCoeff[2] + rho * 4 * mCoeff[3]));
    double next = rho - h / slope;
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
      mOutHeight(out_height) {}

SourcePoint MeshGenerator::source(double x, double y) const {
  // Pixel centres line up: the identity scales the output onto the input, and the corrected
  // view spans the calibration picture.
  const double cw = mCfg.calib_width, ch = mCfg.calib_height;
  const SourcePoint identity = {(x + 0.5) * mInWidth / mOutWidth - 0.5,
                                (y + 0.5) * mInHeight / mOutHeight - 0.5};
  const double dx = (x + 0.5) * cw / mOutWidth - 0.5 - mLens.centre_x();
  const double dy = (y + 0.5) * ch / mOutHeight - 0.5 - mLens.centre_y();
  const double r = std::hypot(dx, dy);
  double scale = 0;  // fisheye radius over pinhole radius
  if (r > 0) {
    double rho = mLens.radius_for_tangent(r / mFocal);
    if (rho < 0) rho = kBeyondFieldFactor * std::hypot(cw, ch);
    scale = rho / r;
  }
  const SourcePoint full = {(mLens.centre_x() + dx * scale + 0.5) * mInWidth / cw - 0.5,
                            (mLens.centre_y() + dy * scale + 0.5) * mInHeight / ch - 0.5};
  const double level = (double)mCfg.correct_level / mCfg.calib_level_maxLimit;
  SourcePoint p = identity;
  if (mCfg.direction != kDirectionVertical) p.x += (full.x - identity.x) * level;
  if (mCfg.direction != kDirectionHorizontal) p.y += (full.y - identity.y) * level;
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
  size_t i = 0;
  for (int r = 0; r < m.geometry.rows; ++r) {
    for (int c = 0; c < m.geometry.cols; ++c, ++i) {
      SourcePoint p = generator.source((double)c * kMeshStepX, (double)r * kMeshStepY);
      m.x[i] = quantize_position(p.x);
      m.y[i] = quantize_position(p.y);
    }
  }
  *mesh = std::move(m);
  return 0;
}

}  // namespace lenswarp
