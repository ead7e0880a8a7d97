// The fisheye lens model behind online mesh generation, and the mesh it generates.
//
// The lens follows the polynomial (OCamCalib) form: the pixel at radius rho from the distortion
// centre sees the ray (dx, dy, f(rho)) with f(rho) = c0 + c1 rho^2 + c2 rho^3 + c3 rho^4, in
// calibration pixels; c0 < 0, so the optical axis points along -z. Full correction maps the
// output through a rectilinear (pinhole) camera with the same centre and the focal length that
// `style` chooses; `correct_level` blends linearly from the identity to it; `direction` picks the
// axes that follow the correction. sim/lenswarp/README.md states the model in full.
#ifndef LENS_FISHEYE_MODEL_H
#define LENS_FISHEYE_MODEL_H

#include <lenswarp_api.h>
#include <stdint.h>

#include <vector>

#include "mesh_format.h"

namespace lenswarp {

// FecOnlineConfig.direction: which axes of the source position follow the correction.
enum Direction : int32_t {
  kDirectionBoth = 0,
  kDirectionHorizontal = 1,  // x corrected, y as in the identity
  kDirectionVertical = 2,    // y corrected, x as in the identity
};

// FecOnlineConfig.style: the focal length of the corrected (rectilinear) view.
enum Style : int32_t {
  kStyleKeepCentre = 0,  // the centre keeps the fisheye's scale: focal length -c0
  kStyleFitWidth = 1,    // the nearer left/right picture edge on the centre's row stays in view
};

// Beyond this angle from the axis "fit the width" stops widening the view, since a rectilinear
// view of 90 degrees or more has no finite focal length.
constexpr double kFitWidthMaxAngleDeg = 80.0;

// 0 when the parameters describe a lens and a level the generator accepts, else EINVAL: c0 not
// negative or a coefficient not finite, a calibration size not positive, the centre not finite,
// calib_level_maxLimit not positive, correct_level outside [0, calib_level_maxLimit], or an
// unknown direction or style.
int check_online_config(const FecOnlineConfig &cfg);

// The lens of a checked configuration, in calibration pixels.
class FisheyeLens {
 public:
  explicit FisheyeLens(const FecOnlineConfig &cfg);

  double centre_x() const { return mCentreX; }
  double centre_y() const { return mCentreY; }
  // f(rho), the ray's axial component; negative while the ray points forward.
  double axial(double rho) const;
  // The radius whose ray makes tan(angle) = `tangent` with the axis, or a negative value when
  // the lens does not see that far within its calibrated field.
  double radius_for_tangent(double tangent) const;
  // radius_for_tangent() of n tangents at once, each from a guess of its radius (guesses[i] > 0,
  // say from a neighbouring point; else none). The radii are the same roots whatever the
  // guesses, to within the last bits.
  void radii_for_tangents(int n, const double *tangents, const double *guesses,
                          double *radii) const;
  // The focal length of the corrected view for `style`.
  double corrected_focal(int32_t style) const;

 private:
  // The derivative of rho + tangent * f(rho), and Newton's method on it from `rho` inside the
  // bracket [lo, hi], bisecting where a step leaves it.
  double slope(double tangent, double rho) const;
  double newton(double tangent, double rho, double lo, double hi) const;

  double mCentreX;
  double mCentreY;
  double mCoeff[4];
  double mCalibWidth;
  // tan(angle) at radius k * mStep, increasing; ends where the field ends.
  std::vector<double> mTangents;
  double mStep;
};

// The source position, in input pixels, of output pixel (x, y) under `cfg` (already checked).
struct SourcePoint {
  double x;
  double y;
};
class MeshGenerator {
 public:
  MeshGenerator(const FecOnlineConfig &cfg, int in_width, int in_height, int out_width,
                int out_height);
  SourcePoint source(double x, double y) const;

  // What a source position takes from one output coordinate alone, so a mesh computes it once
  // per column and once per row: the identity's position and the offset from the lens centre
  // in calibration pixels.
  struct Axis {
    double identity;
    double offset;
  };
  Axis axis_x(double x) const;
  Axis axis_y(double y) const;
  // The source positions of the n points (columns[i], row), as source() gives them. ratios[i]
  // holds on entry a guess of the point's fisheye radius over its pinhole radius (0: none), as
  // the points above it suggest, and on return the ratio found (NaN where there is none).
  void source_row(int n, const Axis *columns, const Axis &row, double *ratios,
                  SourcePoint *points) const;

 private:
  FecOnlineConfig mCfg;
  FisheyeLens mLens;
  double mFocal;
  double mInWidth, mInHeight, mOutWidth, mOutHeight;
  double mLevel;   // of full correction, 0 .. 1
  double mBeyond;  // the radius given to points beyond the field
};

// Generates the mesh for an input of in_width x in_height and an output of out_width x
// out_height. Returns 0, or EINVAL when check_online_config refuses `cfg` or a size is not
// positive (then `mesh` is left as it was).
int generate_mesh(const FecOnlineConfig &cfg, int in_width, int in_height, int out_width,
                  int out_height, Mesh *mesh);

}  // namespace lenswarp

#endif  // LENS_FISHEYE_MODEL_H
