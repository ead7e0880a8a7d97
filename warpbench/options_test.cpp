#include "options.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "messages.h"
#include "run_state.h"

namespace {

const char *const kKeys[] = {"width", "height", "pixelformat", nullptr};

struct SuboptCase {
  const char *input;
  int index;
  const char *value;  // null: no value
  const char *rest;
};

TEST(Getsubopt, SplitsOnePieceAndMatchesWholeKeys) {
  const SuboptCase cases[] = {
      {"width=3840,height=2160", 0, "3840", "height=2160"},
      {"height=", 1, "", ""},
      {"height", 1, nullptr, ""},
      {"pixelformat=NV12,", 2, "NV12", ""},
      {"widthx=1", -1, nullptr, ""},  // a key must be followed by '=' or the end
      {"wid=1,width=2", -1, nullptr, "width=2"},
      {"field=any", -1, nullptr, ""},
      {"", -1, nullptr, ""},
      {"width=a=b", 0, "a=b", ""},
  };
  for (const SuboptCase &c : cases) {
    std::string buf = c.input;
    char *cursor = &buf[0];
    char *value = reinterpret_cast<char *>(1);
    int index = warpbench::getsubopt(&cursor, kKeys, &value);
    EXPECT_EQ(c.index, index) << c.input;
    if (c.value == nullptr) {
      EXPECT_EQ(nullptr, value) << c.input;
    } else {
      ASSERT_NE(nullptr, value) << c.input;
      EXPECT_STREQ(c.value, value) << c.input;
    }
    EXPECT_STREQ(c.rest, cursor) << c.input;
  }
}

TEST(PixelformatCode, FollowsTheFourRulesInOrder) {
  struct {
    const char *value;
    int result;
    uint32_t code;
  } cases[] = {
      {"NV12", 0, 0x3231564Eu},
      {"FBC0", 0, 0x30434246u},
      {"NV12-BE", 0, 0xB231564Eu},
      {"1234", 0, 0x34333231u},
      {"0x3231564E", 0, 0x3231564Eu},
      {"017", 0, 15u},
      {"12345", 0, 12345u},
      {"NV12-LE", -1, 0},
      {"nv", -1, 0},
      {"", -1, 0},
  };
  for (const auto &c : cases) {
    uint32_t code = 0;
    EXPECT_EQ(c.result, pixelformat_code(c.value, &code)) << c.value;
    if (c.result == 0) {
      EXPECT_EQ(c.code, code) << c.value;
    }
  }
}

TEST(ParseFmt, StoresEachKeyInItsConversion) {
  uint32_t w = 0, h = 0, pf = 0;
  std::string arg = "width=0x10,height=010,pixelformat=NV12";
  EXPECT_EQ(0, parse_fmt(&arg[0], &w, &h, &pf));
  EXPECT_EQ(16u, w);
  EXPECT_EQ(8u, h);
  EXPECT_EQ(0x3231564Eu, pf);

  arg = "";
  EXPECT_EQ(0, parse_fmt(&arg[0], &w, &h, &pf));
  arg = "width=7,";
  EXPECT_EQ(0, parse_fmt(&arg[0], &w, &h, &pf));
  EXPECT_EQ(7u, w);
}

TEST(Options, FramePeriodTruncatesAndNeverDividesByZero) {
  EXPECT_EQ(33333333, frame_period_for(30));
  EXPECT_EQ(1000000, frame_period_for(1000));
  EXPECT_EQ(500000, frame_period_for(2000));
  EXPECT_EQ(0, frame_period_for(0));
  EXPECT_EQ(-1000000000, frame_period_for(-1));
}

TEST(Options, ParsesValuesInCommandLineOrder) {
  run_settings = default_run_settings();
  char arg0[] = "warpbench", a1[] = "--stream-count", a2[] = "010", a3[] = "--border-mode",
       a4[] = "0x1", a5[] = "--stream-sk", a6[] = "0x3", a7[] = "--auto-parse-ini", a8[] = "0x0",
       a9[] = "-f", a10[] = "60", a11[] = "--stride-out", a12[] = "4096", a13[] = "-t";
  char *argv[] = {arg0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, nullptr};
  EXPECT_EQ(-1, parse_command_line(14, argv));
  EXPECT_EQ(8u, run_settings.stream_count);
  EXPECT_EQ(0, run_settings.border_mode);
  EXPECT_EQ(3u, run_settings.stream_skip);  // abbreviated long name
  EXPECT_FALSE(run_settings.auto_parse_ini);
  EXPECT_EQ(60, run_settings.fps);
  EXPECT_EQ(16666666, run_settings.frame_period_ns);
  EXPECT_EQ(4096, run_settings.out_stride);
  EXPECT_TRUE(run_settings.api_test);
  EXPECT_FALSE(silent());
  run_settings = default_run_settings();
}

// The parser returns where it used to end the process; warpbench_main passes the status on.
TEST(Options, ReturnsTheExitStatusInsteadOfEndingTheProcess) {
  struct {
    std::vector<std::string> args;
    int status;
    bool usage;
  } cases[] = {
      {{"--fps", "5"}, -1, false},
      {{"--help", "leftover"}, 0, true},
      {{"-v", "width=1,field=any", "-z"}, 1, true},
      {{"-x", "pixelformat=nv", "-z"}, 1, false},
      {{"-s", "-v", "pixelformat=NV12", "leftover"}, 1, true},
  };
  for (const auto &c : cases) {
    run_settings = default_run_settings();
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "warpbench");
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.status, parse_command_line((int)args.size(), argv.data())) << args[1];
    EXPECT_EQ(c.usage, testing::internal::GetCapturedStdout() != "") << args[1];
    testing::internal::GetCapturedStderr();
  }
  run_settings = default_run_settings();
}

}  // namespace
