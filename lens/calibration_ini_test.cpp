#include "calibration_ini.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <string>

#include "scratch_dir.h"

namespace {

const char kComplete[] =
    "; a lens\n"
    "[other]\nstyle = 9\n"
    "[fec_online]\n"
    "light_center = 1920 1080.5\n"
    "coeff = -1.5e3 0 2.5e-4 -3e-8   ; trailing comment\n"
    "direction = 0\nstyle = 1\ncorrect_level = 100\n"
    "calib_width = 3840\ncalib_height = 2160\ncalib_level_maxLimit = 200\n";

TEST(CalibrationIni, ReadsEveryFieldOfItsSection) {
  ScratchDir dir;
  FecOnlineConfig cfg = {};
  EXPECT_EQ(0, lenswarp::load_calibration_ini(dir.write("calib.ini", kComplete).c_str(), &cfg));
  EXPECT_EQ(1920.0, cfg.light_center[0]);
  EXPECT_EQ(1080.5, cfg.light_center[1]);
  EXPECT_EQ(-1500.0, cfg.coeff[0]);
  EXPECT_EQ(2.5e-4, cfg.coeff[2]);
  EXPECT_EQ(-3e-8, cfg.coeff[3]);
  EXPECT_EQ(1, cfg.style);  // the other section's key is not taken
  EXPECT_EQ(100, cfg.correct_level);
  EXPECT_EQ(2160, cfg.calib_height);
  EXPECT_EQ(200, cfg.calib_level_maxLimit);
}

TEST(CalibrationIni, RefusesMissingFilesKeysAndMalformedValues) {
  FecOnlineConfig cfg = {};
  cfg.style = 77;
  EXPECT_EQ(ENOENT, lenswarp::load_calibration_ini("/nonexistent/calib.ini", &cfg));

  const std::string complete = kComplete;
  const std::string broken[] = {
      std::string(complete).replace(complete.find("style = 1\n"), 10, ""),  // missing key
      complete + "correct_level = ten\n",
      complete + "light_center = 1\n",           // one number short
      complete + "coeff = 1 2 3 4 5\n",          // one too many
      complete + "calib_width = 99999999999\n",  // out of range
      complete + "this line has no equals sign\n",
  };
  ScratchDir dir;
  for (const std::string &text : broken) {
    EXPECT_EQ(EINVAL, lenswarp::load_calibration_ini(dir.write("calib.ini", text).c_str(), &cfg))
        << text;
  }
  EXPECT_EQ(77, cfg.style);  // a failed load leaves the record as it was
}

// The parser takes lines of up to 197 characters; a longer one is refused whole and named, never
// cut into pieces parsed as lines of their own.
TEST(CalibrationIni, LinesBeyondTheParsersLimitAreRefusedAndNamed) {
  const std::string coeff = "coeff = -1500" + std::string(200, '0') + "e-200 0 2.5e-4 -3e-8\n";
  const struct {
    std::string appended;
    bool refused;
  } cases[] = {
      {"#" + std::string(196, 'x') + "\n", false},
      {"#" + std::string(196, 'x') + "\r\n", false},
      {"#" + std::string(197, 'x') + "\n", true},
      {"#" + std::string(198, 'x') + "correct_level = 7\n", true},
      {coeff, true},
  };
  ScratchDir dir;
  for (const auto &c : cases) {
    const std::string path = dir.write("calib.ini", kComplete + c.appended);
    FecOnlineConfig cfg = {};
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.refused ? EINVAL : 0, lenswarp::load_calibration_ini(path.c_str(), &cfg))
        << c.appended.size();
    EXPECT_EQ(c.refused ? "lenswarp: " + path + " line 13 is longer than 197 characters\n" : "",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ(c.refused ? 0 : 100, cfg.correct_level) << c.appended.size();
  }
}

}  // namespace
