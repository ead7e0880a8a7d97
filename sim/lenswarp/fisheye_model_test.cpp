#include "fisheye_model.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <cmath>

#include "fisheye_scene.h"
#include "warp_engine.h"

namespace {

using lenswarp::Mesh;

// An equidistant-like lens (about 1100 pixels per radian) on a 3840 x 2160 sensor.
FecOnlineConfig lens_4k(int level = 200) {
  FecOnlineConfig cfg = {};
  cfg.light_center[0] = 1920;
  cfg.light_center[1] = 1080;
  const double coeff[4] = {-1103.7, 3.6843e-4, -1.0378e-7, 6.0608e-11};
  std::copy(coeff, coeff + 4, cfg.coeff);
  cfg.correct_level = level;
  cfg.calib_width = 3840;
  cfg.calib_height = 2160;
  cfg.calib_level_maxLimit = 200;
  return cfg;
}

Mesh generate(const FecOnlineConfig &cfg, int in_w, int in_h, int out_w, int out_h) {
  Mesh m;
  EXPECT_EQ(0, lenswarp::generate_mesh(cfg, in_w, in_h, out_w, out_h, &m));
  return m;
}

TEST(FisheyeModel, RefusesParametersOutsideTheModel) {
  using Change = void (*)(FecOnlineConfig *);
  const Change refused[] = {
      [](FecOnlineConfig *c) { c->coeff[0] = 0; },  // the axis must point forward
      [](FecOnlineConfig *c) { c->coeff[2] = NAN; },
      [](FecOnlineConfig *c) { c->calib_width = 0; },
      [](FecOnlineConfig *c) { c->calib_height = -4; },
      [](FecOnlineConfig *c) { c->light_center[0] = 3840; },  // outside the picture
      [](FecOnlineConfig *c) { c->light_center[1] = -1; },
      [](FecOnlineConfig *c) { c->calib_level_maxLimit = 0; },
      [](FecOnlineConfig *c) { c->correct_level = -1; },
      [](FecOnlineConfig *c) { c->correct_level = 201; },
      [](FecOnlineConfig *c) { c->direction = 3; },
      [](FecOnlineConfig *c) { c->direction = -1; },
      [](FecOnlineConfig *c) { c->style = 2; },
  };
  ASSERT_EQ(0, lenswarp::check_online_config(lens_4k()));
  for (size_t i = 0; i < sizeof(refused) / sizeof(refused[0]); ++i) {
    FecOnlineConfig cfg = lens_4k();
    refused[i](&cfg);
    EXPECT_EQ(EINVAL, lenswarp::check_online_config(cfg)) << "case " << i;
    Mesh m;
    m.x = {42};
    EXPECT_EQ(EINVAL, lenswarp::generate_mesh(cfg, 64, 32, 64, 32, &m)) << "case " << i;
    EXPECT_EQ(std::vector<int32_t>{42}, m.x) << "a refused mesh leaves the old one";
  }
}

TEST(FisheyeModel, LevelZeroIsTheIdentityScaledToTheOutput) {
  for (int direction : {0, 1, 2}) {
    for (int style : {0, 1}) {
      FecOnlineConfig cfg = lens_4k(0);
      cfg.direction = direction;
      cfg.style = style;
      const Mesh same = generate(cfg, 640, 360, 640, 360);
      const Mesh half = generate(cfg, 1280, 720, 640, 360);  // pixel centres line up
      for (int r = 0; r < same.geometry.rows; ++r) {
        for (int c = 0; c < same.geometry.cols; ++c) {
          const size_t i = (size_t)r * same.geometry.cols + c;
          ASSERT_EQ(c * 32 * 256, same.x[i]);
          ASSERT_EQ(r * 16 * 256, same.y[i]);
          ASSERT_EQ(lenswarp::quantize_position(c * 64 + 0.5), half.x[i]);
          ASSERT_EQ(lenswarp::quantize_position(r * 32 + 0.5), half.y[i]);
        }
      }
    }
  }
}

TEST(FisheyeModel, LevelsBlendAndDirectionsPickTheirAxes) {
  const Mesh ident = generate(lens_4k(0), 3840, 2160, 1920, 1080);
  const Mesh full = generate(lens_4k(200), 3840, 2160, 1920, 1080);
  const Mesh mid = generate(lens_4k(50), 3840, 2160, 1920, 1080);
  FecOnlineConfig horizontal = lens_4k(200), vertical = lens_4k(200);
  horizontal.direction = lenswarp::kDirectionHorizontal;
  vertical.direction = lenswarp::kDirectionVertical;
  const Mesh h = generate(horizontal, 3840, 2160, 1920, 1080);
  const Mesh v = generate(vertical, 3840, 2160, 1920, 1080);
  int moved = 0;
  for (size_t i = 0; i < ident.x.size(); ++i) {
    // Quarter of the way, within the rounding of the three stored values.
    EXPECT_NEAR(ident.x[i] + (full.x[i] - ident.x[i]) / 4.0, mid.x[i], 1.0) << i;
    EXPECT_NEAR(ident.y[i] + (full.y[i] - ident.y[i]) / 4.0, mid.y[i], 1.0) << i;
    EXPECT_EQ(full.x[i], h.x[i]);
    EXPECT_EQ(ident.y[i], h.y[i]);
    EXPECT_EQ(ident.x[i], v.x[i]);
    EXPECT_EQ(full.y[i], v.y[i]);
    moved += std::abs(full.x[i] - ident.x[i]) > 256 * 8;
  }
  EXPECT_GT(moved, (int)ident.x.size() / 2) << "full correction moves most points";
}

TEST(FisheyeModel, StylesChooseTheScaleOfTheCorrectedView) {
  FecOnlineConfig cfg = lens_4k();
  // Keep the centre: one output pixel next to the centre covers one input pixel.
  lenswarp::MeshGenerator centre(cfg, 3840, 2160, 3840, 2160);
  const lenswarp::SourcePoint a = centre.source(1920, 1080), b = centre.source(1921, 1080);
  EXPECT_NEAR(1.0, b.x - a.x, 1e-3);
  EXPECT_NEAR(1080.0, a.y, 1e-9);
  // Fit the width: the output's right edge (the nearer one to the centre) shows the input's
  // right edge, at any output size...
  FecOnlineConfig narrow = cfg;  // about 2000 pixels per radian: 55 degrees at the edge
  const double coeff[4] = {-2000, 1.0 / 6000, 0, 2.78e-12};
  std::copy(coeff, coeff + 4, narrow.coeff);
  narrow.style = lenswarp::kStyleFitWidth;
  for (int out_w : {3840, 1280}) {
    lenswarp::MeshGenerator fit(narrow, 3840, 2160, out_w, out_w * 9 / 16);
    const double centre_row = 1080.5 * (out_w * 9 / 16) / 2160 - 0.5;  // sees light_center y
    const lenswarp::SourcePoint edge = fit.source(out_w - 0.5, centre_row);
    EXPECT_NEAR(3839.5, edge.x, 1e-6) << out_w;
  }
  // ... unless the edge lies beyond 80 degrees: then the edge of the view is at 80 degrees.
  cfg.style = lenswarp::kStyleFitWidth;
  lenswarp::MeshGenerator wide(cfg, 3840, 2160, 3840, 2160);
  const double rho = wide.source(3839.5, 1080).x - 1920;
  const lenswarp::FisheyeLens lens(cfg);
  EXPECT_NEAR(80.0, std::atan2(rho, -lens.axial(rho)) * 180 / M_PI, 1e-6);
}

// FNV-1a over a mesh's file bytes.
uint64_t mesh_checksum(const Mesh &m) {
  uint64_t h = 0xcbf29ce484222325u;
  for (uint8_t b : lenswarp::encode_mesh(m)) h = (h ^ b) * 0x100000001b3u;
  return h;
}

TEST(FisheyeModel, MeshesStayThoseOfTheFirstGenerator) {
  // The checksums of the meshes that the generator made before it was sped up (a root search
  // per point from a table of the field), on x86-64 and armhf alike: a faster search must not
  // move a single stored position.
  FecOnlineConfig fit = lens_4k(), narrow = lens_4k(), horizontal = lens_4k(117);
  fit.style = lenswarp::kStyleFitWidth;
  const double narrow_coeff[4] = {-2000, 1.0 / 6000, 0, 2.78e-12};
  std::copy(narrow_coeff, narrow_coeff + 4, narrow.coeff);
  narrow.light_center[0] = 1701.25;
  horizontal.direction = lenswarp::kDirectionHorizontal;
  // A lens whose field ends inside the picture (its angle peaks 2349 pixels out): the
  // corners are sent beyond the input.
  FecOnlineConfig folded = lens_4k(200);
  folded.coeff[1] = -2e-4;
  folded.coeff[2] = folded.coeff[3] = 0;
  struct Case {
    FecOnlineConfig cfg;
    int in_w, in_h, out_w, out_h;
    uint64_t checksum;
  };
  const Case cases[] = {
      {lens_4k(200), 3840, 2160, 3840, 2160, 0x80e70566df2cf3a0},
      {lens_4k(0), 3840, 2160, 3840, 2160, 0xfc1eafa2096ac385},
      {lens_4k(50), 3840, 2160, 3840, 2160, 0x8b3f7d8347bee46b},
      {lens_4k(199), 3840, 2160, 1920, 1080, 0xae262c3cbb029658},
      {fit, 3840, 2160, 3840, 2160, 0xbc76a56f93b47f4a},
      {narrow, 3840, 2160, 2000, 1126, 0x450bd09d374a7800},
      {horizontal, 1280, 720, 1000, 562, 0xcc81d5e1a9db0650},
      {folded, 3840, 2160, 3840, 2160, 0xae04eca718ff48f5},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const Case &c = cases[i];
    EXPECT_EQ(c.checksum, mesh_checksum(generate(c.cfg, c.in_w, c.in_h, c.out_w, c.out_h)))
        << "case " << i;
  }
}

// The x (or y) position of a bright grid line near `guess` on line `at` of a luma plane: the
// centroid of the brightness above the square it runs on. Near the corners the correction
// magnifies about five times, so a line spreads over up to a dozen pixels there.
bool line_centre(const std::vector<uint8_t> &y_plane, int width, bool vertical, int at,
                 double guess, double *centre) {
  auto luma = [&](int p) {
    return (int)(vertical ? y_plane[(size_t)at * width + p] : y_plane[(size_t)p * width + at]);
  };
  const int g = (int)std::lround(guess);
  const int background = std::max(luma(g - 14), luma(g + 14));
  double sum = 0, weighted = 0;
  for (int p = g - 10; p <= g + 10; ++p) {
    const int w = luma(p) - background - 4;
    if (w <= 0) continue;
    sum += w;
    weighted += w * p;
  }
  if (sum < 40) return false;
  *centre = weighted / sum;
  return true;
}

TEST(FisheyeModel, FullCorrectionStraightensTheGridLinesOfTheFisheyePicture) {
  const int w = 3840, h = 2160;
  const FecOnlineConfig cfg = lens_4k();
  const std::vector<uint8_t> fisheye = testpic::render_fisheye(cfg, w, h, 2);
  lenswarp::WarpJob job;
  job.settings.in = job.settings.out = {w, h, w, 0};
  job.mesh = generate(cfg, w, h, w, h);
  std::vector<uint8_t> out(job.settings.out.bytes());
  lenswarp::warp_frame(job, fisheye.data(), out.data(), lenswarp::default_warp_kernel());

  // Keeping the centre's scale, the corrected view is the flat scene: lines at 64k + 0.5.
  double worst_rms = 0;
  int lines = 0;  // every grid line of the view, reported with the figure
  for (bool vertical : {true, false}) {
    const int across = vertical ? w : h, along = vertical ? h : w;
    for (int k = 1; (k + 1) * testpic::kGrid < across; ++k) {
      const double expected = k * testpic::kGrid + 0.5;
      // One point per grid cell crossed: the mean of the centres found on its lines, which
      // evens out the aliasing of the lines that the fisheye picture squeezed thinnest.
      std::vector<double> at, pos;
      int cells = 0;
      for (int cell = 0; (cell + 1) * testpic::kGrid <= along; ++cell, ++cells) {
        double sum_t = 0, sum_c = 0;
        int found = 0;
        for (int t = cell * testpic::kGrid + 10; t < (cell + 1) * testpic::kGrid - 10; ++t) {
          double c;
          if (line_centre(out, w, vertical, t, expected, &c)) {
            sum_t += t;
            sum_c += c;
            ++found;
          }
        }
        if (found < 40) continue;  // of 44 lines
        at.push_back(sum_t / found);
        pos.push_back(sum_c / found);
      }
      ASSERT_GE(at.size(), (size_t)cells - 1) << (vertical ? "x" : "y") << " line " << k;
      // Least-squares line pos = a + b t, and the RMS distance from it.
      double st = 0, sp = 0, stt = 0, stp = 0;
      const double n = (double)at.size();
      for (size_t i = 0; i < at.size(); ++i) {
        st += at[i];
        sp += pos[i];
        stt += at[i] * at[i];
        stp += at[i] * pos[i];
      }
      const double b = (n * stp - st * sp) / (n * stt - st * st), a = (sp - b * st) / n;
      double sq = 0;
      for (size_t i = 0; i < at.size(); ++i) sq += std::pow(pos[i] - (a + b * at[i]), 2);
      const double rms = std::sqrt(sq / n) / std::sqrt(1 + b * b);
      worst_rms = std::max(worst_rms, rms);
      EXPECT_NEAR(expected, a + b * along / 2.0, 1.0) << "line " << k << " where it belongs";
      ++lines;
    }
  }
  EXPECT_LT(worst_rms, 1.0);
  RecordProperty("worst_rms_px", std::to_string(worst_rms));
  printf("grid lines: %d, worst RMS distance from a straight line: %.3f px\n", lines, worst_rms);
}

}  // namespace
