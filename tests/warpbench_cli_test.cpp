// The command line of warpbench as its users meet it: texts, streams and exit statuses.
#include <gtest/gtest.h>

#include "warpbench_fixture.h"

namespace {

using CommandLine = WarpbenchTest;

TEST_F(CommandLine, NoArgumentsPrintsTheUsageAndTouchesNothing) {
  ProgramResult r = run({});
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(usage_text(), r.out);
  EXPECT_EQ("", r.err);
  EXPECT_TRUE(trace_ops().empty());
}

TEST_F(CommandLine, HelpEndsAtOnceWithStatusZero) {
  for (const char *help : {"-z", "--help", "--he"}) {
    ProgramResult r = run({help, "--fps", "0", "--api-test", "leftover"});
    EXPECT_EQ(0, r.exit_status) << help;
    EXPECT_EQ(usage_text(), r.out) << help;
    EXPECT_EQ("", r.err) << "options after help are not looked at";
  }
  ProgramResult r = run({"--fps", "0", "-z"});
  EXPECT_EQ("Invalid fps 0\n", r.err);
  EXPECT_EQ(usage_text(), r.out);
}

TEST_F(CommandLine, DashHIsNoOptionAndTheRunGoesOn) {
  ProgramResult r = run({"-h"});
  EXPECT_EQ(program() + ": invalid option -- 'h'\nPlease specify the calibration file.\n", r.err);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(255, r.exit_status);
}

TEST_F(CommandLine, ParserDiagnosticsLeaveTheOptionIgnored) {
  ProgramResult r = run({"--bogus", "--fps"});
  EXPECT_EQ(program() + ": unrecognized option '--bogus'\n" + program() +
                ": option '--fps' requires an argument\n"
                "Please specify the calibration file.\n",
            r.err);
  EXPECT_EQ(255, r.exit_status);
}

TEST_F(CommandLine, LeftoverArgumentsAreListedBeforeTheUsage) {
  ProgramResult r = run({"first", "--api-test", "1", "--fps", "5", "last"});
  EXPECT_EQ("unknown arguments: first 1 last \n", r.err);
  EXPECT_EQ(usage_text(), r.out);
  EXPECT_EQ(1, r.exit_status);

  r = run({"-s", "--api-test", "1"});
  EXPECT_EQ("", r.err) << "silent hides the list but not the usage";
  EXPECT_EQ(usage_text(), r.out);
  EXPECT_EQ(1, r.exit_status);
}

TEST_F(CommandLine, FormatSuboptionFailuresPrintWhyThenTheUsage) {
  struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"-v", "width=1,field=any"}, "Invalid suboptions specified\n"},
      {{"-x", "colorspace=srgb"}, "Invalid suboptions specified\n"},
      {{"-s", "-v", "height"}, "No value given to suboption <height>\n"},
      {{"--set-fmt-video-out", "width=1,pixelformat"},
       "No value given to suboption <pixelformat>\n"},
  };
  for (const auto &c : cases) {
    ProgramResult r = run(c.args);
    EXPECT_EQ(c.err, r.err) << c.args[0];
    EXPECT_EQ(usage_text(), r.out);
    EXPECT_EQ(1, r.exit_status);
  }
}

TEST_F(CommandLine, InvalidPixelformatEndsWithoutTheUsage) {
  for (const char *option : {"-v", "-x"}) {
    for (const char *pf : {"nv", "NV12-LE", ""}) {
      ProgramResult r = run({"-s", option, std::string("width=8,pixelformat=") + pf, "-z"});
      EXPECT_EQ(std::string("The pixelformat '") + pf + "' is invalid\n", r.err) << option;
      EXPECT_EQ("", r.out) << option;
      EXPECT_EQ(1, r.exit_status) << option;
    }
  }
}

TEST_F(CommandLine, SilentTakesEffectFromItsPosition) {
  ProgramResult r = run({"-s", "--fps", "0"});
  EXPECT_EQ("", r.err);
  EXPECT_EQ(255, r.exit_status);

  r = run({"--fps", "0", "-s"});
  EXPECT_EQ("Invalid fps 0\n", r.err) << "the calibration message is silenced, the fps one not";
  EXPECT_EQ(255, r.exit_status);

  r = run({"--fps", "2000", "--fps", "-3", "--silent"});
  EXPECT_EQ("Invalid fps 2000\nInvalid fps -3\n", r.err);
}

TEST_F(CommandLine, BackgroundSuboptionFailureIsReportedAndTheRunGoesOn) {
  write_picture();
  write_mesh();
  std::vector<std::string> args = picture_args();
  args.insert(args.end(), {"--mesh-from", "mesh.bin", "--stream-count", "1", "--set-bg-val",
                           "y=16,k=1", "--set-bg-val", "v=0x20"});
  ProgramResult r = run(args);
  EXPECT_EQ("Invalid suboptions specified\nFailed to parse bg_val\n", r.err);
  EXPECT_EQ(0, r.exit_status);
  auto inits = trace_of("init");
  ASSERT_EQ(1u, inits.size());
  EXPECT_EQ(16, inits[0]["cfg"]["bg_y"]);
  EXPECT_EQ(0, inits[0]["cfg"]["bg_u"]);
  EXPECT_EQ(32, inits[0]["cfg"]["bg_v"]);
}

TEST_F(CommandLine, NumbersFollowTheirConversions) {
  write_picture();
  write_mesh();
  std::vector<std::string> args = picture_args();
  args.insert(args.end(), {"--mesh-from",
                           "mesh.bin",
                           "--stream-count",
                           "02",
                           "--border-mode",
                           "0x1",
                           "--cross-buf-mode",
                           "-7",
                           "--offset-x",
                           "12abc",
                           "--stride",
                           "96",
                           "--offset-x-out",
                           "3",
                           "--stride-out",
                           "80",
                           "--mesh-density",
                           "2",
                           "--stream-to",
                           "out.yuv",
                           "-s"});
  ProgramResult r = run(args);
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(2u, trace_of("process").size()) << "010-style counts are base 0: 02 is two";
  auto cfg = trace_of("init").at(0)["cfg"];
  EXPECT_EQ(0, cfg["border_mode"]) << "atoi stops at the x";
  EXPECT_EQ(-7, cfg["cross_buf_mode"]);
  EXPECT_EQ(12, cfg["offset_x"]);
  EXPECT_EQ(96, cfg["stride"]);
  EXPECT_EQ(3, cfg["out_offset_x"]);
  EXPECT_EQ(80, cfg["out_stride"]);
}

}  // namespace
