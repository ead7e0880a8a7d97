// The installed tools: the mesh files they write, the test pictures they render and the PNGs
// they convert, checked against the library and warpbench that use them; and their versions.
#include <gtest/gtest.h>
#include <png.h>

#include <sstream>

#include "camtools_version.h"
#include "warpbench_fixture.h"

namespace {

class FecTools : public WarpbenchTest {
 protected:
  // One frame of the small picture with `more` options.
  std::vector<std::string> with_args(const std::vector<std::string> &more) const {
    std::vector<std::string> args = picture_args();
    args.insert(args.end(), {"-s", "--stream-count", "1"});
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
};

ProgramResult run_tool(const std::string &tool, const std::vector<std::string> &args,
                       const std::string &cwd) {
  ProgramRun r;
  r.program = staged_program(tool);
  r.args = args;
  r.cwd = cwd;
  ProgramResult result = run_program(r);
  EXPECT_FALSE(result.timed_out);
  return result;
}

TEST_F(FecTools, MeshFilesAreNamedForTheExercisesAndEqualTheOnlineMesh) {
  const std::string ini = write_ini();  // level 100 of 200
  ProgramResult r = run_tool("fec-mesh",
                             {"--calib-ini", ini, "--size", "64x32", "--level", "0", "--level",
                              "200", "--dir", mDir.path()},
                             mDir.path());
  ASSERT_EQ(0, r.exit_status) << r.err;
  const std::string level0 =
      mDir.path() + "/zm3318c_fecMesh_src64x32_dst64x32_step32x16_level000.bin";
  const std::string level200 =
      mDir.path() + "/zm3318c_fecMesh_src64x32_dst64x32_step32x16_level200.bin";
  EXPECT_EQ(level0 + "\n" + level200 + "\n", r.out);
  write_mesh("identity.bin");
  EXPECT_EQ(mDir.read("identity.bin"), mDir.read(level0.substr(mDir.path().size() + 1)))
      << "level 0 is the identity";
  EXPECT_EQ(mDir.read("identity.bin").size(),
            mDir.read(level200.substr(mDir.path().size() + 1)).size());

  // The INI's own level, to a named file; then the same correction by file and online.
  r = run_tool("fec-mesh", {"--calib-ini", ini, "--size", "64x32", "--output", "level100.bin"},
               mDir.path());
  ASSERT_EQ(0, r.exit_status) << r.err;
  const std::string picture = write_picture();
  r = run(with_args({"--mesh-from", "level100.bin", "--stream-to", "by_file.yuv"}));
  ASSERT_EQ(0, r.exit_status) << r.err;
  r = run(with_args({"--calib-ini-from", ini, "--stream-to", "online.yuv"}));
  ASSERT_EQ(0, r.exit_status) << r.err;
  const std::string by_file = mDir.read("by_file.yuv");
  ASSERT_EQ(kFrameBytes, by_file.size());
  EXPECT_EQ(by_file, mDir.read("online.yuv"));
  EXPECT_NE(picture, by_file) << "level 100 corrects something";

  r = run_tool("fec-mesh",
               {"--calib-ini", ini, "--size", "64x32", "--level", "201", "--output", "x.bin"},
               mDir.path());
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ(std::string("fec-mesh: ") + ini +
                " with level 201 does not describe a correction: Invalid argument\n",
            r.err);

  // A name too long for the file system is refused, never cut to one that drops the level.
  const std::string prefix(220, 'p');
  const std::string name = prefix + "_fecMesh_src64x32_dst64x32_step32x16_level007.bin";
  r = run_tool("fec-mesh",
               {"--calib-ini", ini, "--size", "64x32", "--level", "7", "--prefix", prefix, "--dir",
                mDir.path()},
               mDir.path());
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ("fec-mesh: cannot open " + mDir.path() + "/" + name + ": File name too long\n", r.err);
}

TEST_F(FecTools, TestPicturesAreFlatOrSeenThroughTheLens) {
  ProgramResult r = run_tool("nv12-testpic", {"128", "64", "flat.yuv"}, mDir.path());
  ASSERT_EQ(0, r.exit_status) << r.err;
  const std::string flat = mDir.read("flat.yuv");
  ASSERT_EQ(128u * 64 * 3 / 2, flat.size());
  for (int y = 0; y < 64; ++y) {
    EXPECT_EQ(235, (uint8_t)flat[y * 128 + 64]) << "grid line at x = 64, row " << y;
  }

  // A lens whose field ends at 45 degrees from the axis, well inside the picture's corners.
  mDir.write("narrow.ini",
             "[fec_online]\nlight_center = 64 32\ncoeff = -30 0 0 0.0000015\ndirection = 0\n"
             "style = 0\ncorrect_level = 0\ncalib_width = 128\ncalib_height = 64\n"
             "calib_level_maxLimit = 200\n");
  r = run_tool("nv12-testpic", {"--calib-ini", "narrow.ini", "128", "64", "fish.yuv"}, mDir.path());
  ASSERT_EQ(0, r.exit_status) << r.err;
  const std::string fish = mDir.read("fish.yuv");
  ASSERT_EQ(flat.size(), fish.size());
  EXPECT_EQ(16, (uint8_t)fish[0]) << "a corner lies beyond the field";
  EXPECT_EQ(128, (uint8_t)fish[128 * 64]) << "and has no colour";
  EXPECT_EQ(flat[32 * 128 + 64], fish[32 * 128 + 64]) << "the centre sees the scene's centre";

  r = run_tool("nv12-testpic", {"--calib-ini", "missing.ini", "128", "64", "x.yuv"}, mDir.path());
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ("nv12-testpic: cannot read missing.ini: No such file or directory\n", r.err);
}

// Decodes a PNG into 8-bit RGB.
bool read_png(const std::string &path, png_uint_32 *w, png_uint_32 *h, std::vector<uint8_t> *rgb) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  rgb->resize(PNG_IMAGE_SIZE(image));
  *w = image.width;
  *h = image.height;
  return png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr) != 0;
}

TEST_F(FecTools, PngsShowTheChosenFrame) {
  // Two 8x4 frames: limited-range black, then white.
  std::string frames(8 * 4 * 3 / 2 * 2, '\x80');
  for (int i = 0; i < 32; ++i) {
    frames[i] = 16;
    frames[48 + i] = (char)235;
  }
  mDir.write("two.yuv", frames);
  struct Case {
    std::vector<std::string> options;
    png_uint_32 w, h;
    uint8_t value;
  };
  const Case cases[] = {
      {{}, 8, 4, 0}, {{"--frame", "1"}, 8, 4, 255}, {{"--scale", "2", "-f", "1"}, 4, 2, 255}};
  for (const Case &c : cases) {
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"8", "4", "two.yuv", "out.png"});
    ProgramResult r = run_tool("nv12-topng", args, mDir.path());
    ASSERT_EQ(0, r.exit_status) << r.err;
    png_uint_32 w = 0, h = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(read_png(mDir.file("out.png"), &w, &h, &rgb));
    EXPECT_EQ(c.w, w);
    EXPECT_EQ(c.h, h);
    EXPECT_EQ(std::vector<uint8_t>(w * h * 3, c.value), rgb);
  }
  ProgramResult r =
      run_tool("nv12-topng", {"-f", "2", "8", "4", "two.yuv", "out.png"}, mDir.path());
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ("nv12-topng: two.yuv has no frame 2 of 48 bytes\n", r.err);
}

// A 4x4 frame of four coloured 2x2 blocks, one chroma pair each. The expected colours come from
// BT.601 limited range by hand, rounded and clamped (the green of the bottom left block is over
// 255); swapping U and V, or taking the chroma of the wrong line, gives other colours.
TEST_F(FecTools, PngColoursFollowBt601WithUBeforeV) {
  const uint8_t frame[] = {
      120, 120, 60,  60,  120, 120, 60,  60,  200, 200, 100, 100, 200, 200, 100, 100,  // Y
      70,  180, 200, 100, 100, 60,  150, 190,  // U V of each block, a line of blocks per line
  };
  mDir.write("colour.yuv", std::string((const char *)frame, sizeof(frame)));
  const std::vector<uint8_t> colours[2][2] = {{{204, 102, 4}, {7, 46, 196}},
                                              {{106, 255, 158}, {197, 39, 142}}};
  const struct {
    const char *scale;
    int size;
  } cases[] = {{"1", 4}, {"2", 2}};
  for (const auto &c : cases) {
    ProgramResult r = run_tool(
        "nv12-topng", {"--scale", c.scale, "4", "4", "colour.yuv", "out.png"}, mDir.path());
    ASSERT_EQ(0, r.exit_status) << r.err;
    png_uint_32 w = 0, h = 0;
    std::vector<uint8_t> rgb, want;
    ASSERT_TRUE(read_png(mDir.file("out.png"), &w, &h, &rgb));
    for (int y = 0; y < c.size; ++y) {
      for (int x = 0; x < c.size; ++x) {
        const std::vector<uint8_t> &colour = colours[y * 2 / c.size][x * 2 / c.size];
        want.insert(want.end(), colour.begin(), colour.end());
      }
    }
    EXPECT_EQ((png_uint_32)c.size, w);
    EXPECT_EQ((png_uint_32)c.size, h);
    EXPECT_EQ(want, rgb) << "scale " << c.scale;
  }
}

// Every tool reports the project's version, the compiled ones through the generated header and
// the socsim script through its configured copy: the one line, nothing else, status 0.
TEST(ToolVersions, EachToolPrintsItsNameAndTheProjectVersion) {
  const struct {
    const char *tool;
    bool script;
  } tools[] = {{"fec-mesh", false},
               {"nv12-testpic", false},
               {"nv12-topng", false},
               {"tqzel-sim", false},
               {"socsim", true}};
  for (const auto &t : tools) {
    ProgramRun run;
    run.program = staged_program(t.tool);
    run.args = {"--version"};
    run.native = t.script;
    ProgramResult r = run_program(run);
    EXPECT_EQ(0, r.exit_status) << t.tool;
    EXPECT_EQ(std::string(t.tool) + " " CAMTOOLS_VERSION "\n", r.out);
    EXPECT_EQ("", r.err) << t.tool;
  }
}

}  // namespace
