// The installed tools: the mesh files they write, the test pictures they render and the PNGs
// they convert, checked against the library and warpbench that use them; and their versions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <sstream>

#include "camtools_version.h"
#include "owned_fd.h"
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
                       const std::string &cwd, const std::map<std::string, std::string> &env = {}) {
  ProgramRun r;
  r.program = staged_program(tool);
  r.args = args;
  r.cwd = cwd;
  r.env = env;
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
  ASSERT_EQ(nv12_frame_bytes(128, 64), flat.size());
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
  std::string frames(nv12_frame_bytes(8, 4) * 2, '\x80');
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

// An 8x4 NV12 frame whose samples all differ, with room above each for a change.
const size_t kSmallFrame = nv12_frame_bytes(8, 4);
std::string small_frame() {
  std::string frame(kSmallFrame, '\0');
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = (char)(100 + i * 7 % 50);
  return frame;
}

// `frame` with `delta` added to the sample at each offset.
std::string changed(std::string frame, const std::vector<size_t> &offsets, int delta) {
  for (size_t i : offsets) frame[i] = (char)((uint8_t)frame[i] + delta);
  return frame;
}

// The three plane lines of two frames the same but for one Y, U or V sample.
std::string planes(const std::string &y, const std::string &u, const std::string &v) {
  const std::string same = "PSNR inf dB, max diff 0 at (0, 0), 0 samples beyond 0\n";
  return "Y: " + (y.empty() ? same : y) + "U: " + (u.empty() ? same : u) +
         "V: " + (v.empty() ? same : v);
}

// Each plane is compared apart, at its own sample positions: Y (5, 2) is offset 2 * 8 + 5, U
// (3, 1) offset 32 + 8 + 3 * 2, V (1, 0) offset 32 + 1 * 2 + 1. Swapping U and V shows on both.
TEST_F(FecTools, CompareFindsEachDifferenceInItsPlaneAndPlace) {
  const std::string ref = small_frame();
  std::string swapped = ref;
  for (size_t i = 32; i < kSmallFrame; i += 2) std::swap(swapped[i], swapped[i + 1]);
  const std::string mismatch_1 = "MISMATCH: 1 of 48 samples beyond 0\n";
  const struct {
    std::string test;
    std::vector<std::string> options;
    int status;
    std::string out;
  } cases[] = {
      {ref, {}, 0, planes("", "", "") + "MATCH: every sample within 0\n"},
      {changed(ref, {21}, 3),
       {},
       1,
       planes("PSNR 53.64 dB, max diff 3 at (5, 2), 1 samples beyond 0\n", "", "") + mismatch_1},
      {changed(ref, {46}, 2),
       {},
       1,
       planes("", "PSNR 51.14 dB, max diff 2 at (3, 1), 1 samples beyond 0\n", "") + mismatch_1},
      {changed(ref, {35}, 1),
       {},
       1,
       planes("", "", "PSNR 57.16 dB, max diff 1 at (1, 0), 1 samples beyond 0\n") + mismatch_1},
      {swapped,
       {},
       1,
       planes("", "PSNR 23.75 dB, max diff 43 at (1, 1), 8 samples beyond 0\n",
              "PSNR 23.75 dB, max diff 43 at (1, 1), 8 samples beyond 0\n") +
           "MISMATCH: 16 of 48 samples beyond 0\n"},
      // The tolerance's boundary: a difference of 3 matches within 3, not within 2.
      {changed(ref, {21, 46}, 3),
       {"--max-diff", "3"},
       0,
       "Y: PSNR 53.64 dB, max diff 3 at (5, 2), 0 samples beyond 3\n"
       "U: PSNR 47.62 dB, max diff 3 at (3, 1), 0 samples beyond 3\n"
       "V: PSNR inf dB, max diff 0 at (0, 0), 0 samples beyond 3\n"
       "MATCH: every sample within 3\n"},
      {changed(ref, {21, 46}, 3),
       {"-m", "2"},
       1,
       "Y: PSNR 53.64 dB, max diff 3 at (5, 2), 1 samples beyond 2\n"
       "U: PSNR 47.62 dB, max diff 3 at (3, 1), 1 samples beyond 2\n"
       "V: PSNR inf dB, max diff 0 at (0, 0), 0 samples beyond 2\n"
       "MISMATCH: 2 of 48 samples beyond 2\n"},
  };
  mDir.write("ref.yuv", ref);
  for (const auto &c : cases) {
    mDir.write("test.yuv", c.test);
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"8", "4", "test.yuv", "ref.yuv"});
    ProgramResult r = run_tool("fec-compare", args, mDir.path());
    EXPECT_EQ(c.status, r.exit_status) << c.out;
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ("", r.err);
  }
}

// Either file's frame is chosen alone, or both with --frame; the frames before are skipped.
TEST_F(FecTools, CompareTakesTheFramesAskedFor) {
  const std::string ref = small_frame(), other = changed(ref, {0}, 1);
  mDir.write("a.yuv", ref + other + ref);
  mDir.write("b.yuv", other + ref);
  const struct {
    std::vector<std::string> options;
    int status;
  } cases[] = {{{}, 1},
               {{"--frame", "1"}, 1},
               {{"-f", "1", "--test-frame", "2"}, 0},
               {{"--ref-frame", "1"}, 0},
               {{"--test-frame", "1"}, 0},
               {{"--test-frame", "2", "--ref-frame", "1"}, 0}};
  for (const auto &c : cases) {
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"8", "4", "a.yuv", "b.yuv"});
    ProgramResult r = run_tool("fec-compare", args, mDir.path());
    EXPECT_EQ(c.status, r.exit_status) << testing::PrintToString(c.options) << r.err;
  }
}

// Frames past 2 GiB are reached by a 64-bit seek, on armhf too: frame 200 of a sparse file of 201
// 4K frames converts and compares exactly as the same frames do alone.
TEST_F(FecTools, FramesPast2GiBReadAsTheSameFramesAlone) {
  const size_t frame_bytes = nv12_frame_bytes(3840, 2160);
  std::string ref(frame_bytes, '\0');
  for (size_t i = 0; i < frame_bytes; ++i) ref[i] = (char)(i * 131 / 4096 + i % 7);
  const std::string test = changed(ref, {12345, 3840 * 2160 + 777}, 9);
  mDir.write("ref.yuv", ref);
  mDir.write("test.yuv", test);
  for (const char *name : {"big_ref.yuv", "big_test.yuv"}) {
    const std::string &frame = name[4] == 'r' ? ref : test;
    OwnedFd fd(open(mDir.file(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    ASSERT_TRUE(fd.valid());
    ASSERT_EQ(0, ftruncate(fd.get(), (off_t)201 * (off_t)frame_bytes));
    ASSERT_EQ((ssize_t)frame_bytes,
              pwrite(fd.get(), frame.data(), frame_bytes, (off_t)200 * (off_t)frame_bytes));
  }

  ProgramResult alone = run_tool(
      "nv12-topng", {"--scale", "16", "3840", "2160", "ref.yuv", "alone.png"}, mDir.path());
  ProgramResult big = run_tool(
      "nv12-topng", {"--scale", "16", "--frame", "200", "3840", "2160", "big_ref.yuv", "big.png"},
      mDir.path());
  ASSERT_EQ(0, alone.exit_status) << alone.err;
  EXPECT_EQ(0, big.exit_status) << big.err;
  EXPECT_EQ(mDir.read("alone.png"), mDir.read("big.png"));

  alone = run_tool("fec-compare", {"3840", "2160", "test.yuv", "ref.yuv"}, mDir.path());
  big = run_tool("fec-compare", {"--frame", "200", "3840", "2160", "big_test.yuv", "big_ref.yuv"},
                 mDir.path());
  EXPECT_EQ(1, alone.exit_status) << alone.err;
  EXPECT_EQ(alone.exit_status, big.exit_status) << big.err;
  EXPECT_EQ(alone.out, big.out);
  EXPECT_EQ("", big.err);
}

// Bad input ends with status 2, one message naming the file and nothing on standard output. The
// largest frames overflow a 32-bit size_t; on 64 bits they fit, and the file's size alone tells
// that it is short, before any room is made for such a frame.
TEST_F(FecTools, CompareRefusesMissingShortAndUnreadableFiles) {
  mDir.write("one.yuv", small_frame());
  mDir.write("short.yuv", small_frame().substr(1));
  mDir.make_dir("dir");
  const bool narrow = sizeof(size_t) == 4;
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"8", "4", "missing.yuv", "one.yuv"},
       "fec-compare: cannot open missing.yuv: No such file or directory\n"},
      {{"8", "4", "one.yuv", "short.yuv"}, "fec-compare: short.yuv has no frame 0 of 48 bytes\n"},
      {{"--ref-frame", "1", "8", "4", "one.yuv", "one.yuv"},
       "fec-compare: one.yuv has no frame 1 of 48 bytes\n"},
      {{"--frame", "9223372036854775807", "8", "4", "one.yuv", "one.yuv"},
       sizeof(long) == 4 ? ""
                         : "fec-compare: one.yuv has no frame 9223372036854775807 of 48 bytes\n"},
      {{"8", "4", "one.yuv", "dir"}, "fec-compare: cannot read dir: Is a directory\n"},
      {{"2147483646", "2147483646", "one.yuv", "one.yuv"},
       narrow ? "fec-compare: frames of 2147483646x2147483646 are too large for this machine\n"
              : "fec-compare: one.yuv has no frame 0 of 6917529014756179974 bytes\n"},
  };
  for (const auto &c : cases) {
    ProgramResult r = run_tool("fec-compare", c.args, mDir.path());
    EXPECT_EQ(2, r.exit_status) << c.err;
    EXPECT_EQ("", r.out);
    if (c.err.empty()) {
      EXPECT_EQ(0u, r.err.find("usage: fec-compare")) << r.err;
    } else {
      EXPECT_EQ(c.err, r.err);
    }
  }
  const std::vector<std::string> sizes[] = {
      {"7", "4"}, {"1", "4"}, {"2147483648", "4"}, {"x", "4"}, {"8", "3"}};
  for (const std::vector<std::string> &size : sizes) {
    ProgramResult r =
        run_tool("fec-compare", {size[0], size[1], "one.yuv", "one.yuv"}, mDir.path());
    EXPECT_EQ(2, r.exit_status) << size[0] << "x" << size[1];
    EXPECT_EQ(0u, r.err.find("usage: fec-compare")) << size[0] << "x" << size[1];
  }
}

// The heat map lights exactly the pixels whose Y sample, U sample or V sample differs.
TEST_F(FecTools, CompareHeatMapShowsWhereTheFramesDiffer) {
  const std::string ref = small_frame();
  mDir.write("ref.yuv", ref);
  // Y (5, 2); U (3, 1): pixels 6-7 of rows 2-3; V (1, 0): pixels 2-3 of rows 0-1.
  mDir.write("test.yuv", changed(ref, {21, 46, 35}, 1));
  ProgramResult r = run_tool(
      "fec-compare", {"--heatmap", "diff.png", "8", "4", "test.yuv", "ref.yuv"}, mDir.path());
  EXPECT_EQ(1, r.exit_status) << r.err;
  png_uint_32 w = 0, h = 0;
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(read_png(mDir.file("diff.png"), &w, &h, &rgb));
  ASSERT_EQ(8u, w);
  ASSERT_EQ(4u, h);
  for (png_uint_32 y = 0; y < h; ++y) {
    for (png_uint_32 x = 0; x < w; ++x) {
      const bool differs =
          (x == 5 && y == 2) || (x >= 6 && y >= 2) || ((x == 2 || x == 3) && y <= 1);
      const uint8_t *px = &rgb[(y * w + x) * 3];
      EXPECT_EQ(differs, px[0] != 0 || px[1] != 0 || px[2] != 0) << x << ", " << y;
    }
  }
  EXPECT_EQ((std::vector<uint8_t>{0, 0, 255}),
            std::vector<uint8_t>(&rgb[(2 * 8 + 5) * 3], &rgb[(2 * 8 + 6) * 3]))
      << "a difference of 1 is blue";
}

// Short of memory, each tool says what it could not allocate and ends with its failure status
// (fec-compare's for bad input: 1 means the frames differ), writing nothing. The sanitizer's
// allocator is told to fail allocations over a limit, as the C library's does when memory runs
// out: a 2048x2048 frame takes 6 MiB, its RGB picture or heat map 12 MiB.
TEST_F(FecTools, ShortOfMemoryToolsSayWhatTheyCouldNotAllocate) {
#ifndef TOOLS_TESTS_SANITIZED
  GTEST_SKIP() << "needs the sanitizer build, whose allocator can be told to fail";
#endif
  mDir.write("big.yuv", std::string(nv12_frame_bytes(2048, 2048), '\x80'));
  const std::string frame = "6291456 bytes for frame 0 of big.yuv\n";
  const struct {
    std::string tool;
    std::vector<std::string> args;
    int limit_mb;
    int status;
    std::string err;
  } cases[] = {
      {"nv12-topng",
       {"2048", "2048", "big.yuv", "output"},
       4,
       1,
       "nv12-topng: cannot allocate " + frame},
      {"nv12-topng",
       {"2048", "2048", "big.yuv", "output"},
       8,
       1,
       "nv12-topng: cannot allocate 12582912 bytes for the RGB picture\n"},
      {"fec-compare",
       {"2048", "2048", "big.yuv", "big.yuv"},
       4,
       2,
       "fec-compare: cannot allocate " + frame},
      {"fec-compare",
       {"--heatmap", "output", "2048", "2048", "big.yuv", "big.yuv"},
       8,
       2,
       "fec-compare: cannot allocate 12582912 bytes for the heat map\n"},
      {"nv12-testpic",
       {"2048", "2048", "output"},
       4,
       1,
       "nv12-testpic: cannot allocate 6291456 bytes for the picture\n"},
  };
  const char *asan = getenv("ASAN_OPTIONS");
  for (const auto &c : cases) {
    const std::string options =
        std::string(asan != nullptr ? asan : "") +
        ":allocator_may_return_null=1:max_allocation_size_mb=" + std::to_string(c.limit_mb);
    ProgramResult r = run_tool(c.tool, c.args, mDir.path(), {{"ASAN_OPTIONS", options}});
    EXPECT_EQ(c.status, r.exit_status) << c.err;
    // The sanitizer notes the failed allocation itself; the tool's line is all else.
    std::istringstream lines(r.err);
    std::string own;
    for (std::string line; std::getline(lines, line);) {
      if (line.find("AddressSanitizer failed to allocate") == std::string::npos) own += line + "\n";
    }
    EXPECT_EQ(c.err, own) << r.err;
    EXPECT_EQ("", r.out) << c.err;
    EXPECT_NE(0, access(mDir.file("output").c_str(), F_OK)) << c.err << " left its output";
  }
}

// The mesh drawn over its output grid: the identity only retraces the grid (lines every 32
// columns and 16 rows, scaled with the picture), also from an input of another size, whose source
// positions scale back onto the output; a correction moves it. The mesh file is named for both
// sizes, and is the same with or without the picture.
TEST_F(FecTools, MeshPictureShowsTheDisplacement) {
  const std::string ini = write_ini();
  const struct {
    std::string size, input_size;
    std::string level;
    std::string file;
    png_uint_32 w, h;
    png_uint_32 step_x, step_y;  // the grid's spacing in the picture
    bool straight;
  } cases[] = {{"64x32", "64x32", "0", "zm3318c_fecMesh_src64x32_dst64x32_step32x16_level000.bin",
                64, 32, 32, 16, true},
               {"64x32", "64x32", "200", "zm3318c_fecMesh_src64x32_dst64x32_step32x16_level200.bin",
                64, 32, 32, 16, false},
               {"64x32", "128x64", "0", "zm3318c_fecMesh_src128x64_dst64x32_step32x16_level000.bin",
                64, 32, 32, 16, true},
               {"3840x2160", "3840x2160", "0",
                "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level000.bin", 1920, 1080, 16,
                8, true}};
  for (const auto &c : cases) {
    ProgramResult r = run_tool("fec-mesh",
                               {"--calib-ini", ini, "--size", c.size, "--input-size", c.input_size,
                                "--level", c.level, "--dir", ".", "--png", "mesh.png"},
                               mDir.path());
    ASSERT_EQ(0, r.exit_status) << r.err;
    EXPECT_EQ("./" + c.file + "\nmesh.png\n", r.out);
    const std::string mesh = mDir.read(c.file);
    r = run_tool("fec-mesh",
                 {"--calib-ini", ini, "--size", c.size, "--input-size", c.input_size, "--level",
                  c.level, "--output", "plain.bin"},
                 mDir.path());
    ASSERT_EQ(0, r.exit_status) << r.err;
    EXPECT_EQ(mDir.read("plain.bin"), mesh);

    png_uint_32 w = 0, h = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(read_png(mDir.file("mesh.png"), &w, &h, &rgb));
    ASSERT_EQ(c.w, w);
    ASSERT_EQ(c.h, h);
    size_t off_grid = 0, on_grid = 0;
    for (png_uint_32 y = 0; y < h; ++y) {
      for (png_uint_32 x = 0; x < w; ++x) {
        const bool grid = x % c.step_x == 0 || y % c.step_y == 0;
        const uint8_t *px = &rgb[(y * w + x) * 3];
        const bool lit = px[0] == 255 && px[1] == 255 && px[2] == 0;  // the mesh's yellow
        off_grid += lit && !grid;
        on_grid += lit && grid;
      }
    }
    if (c.straight) {
      EXPECT_EQ(w * h - (w - w / c.step_x) * (h - h / c.step_y), on_grid) << c.size;
      EXPECT_EQ(0u, off_grid) << c.size;
    } else {
      EXPECT_LT(0u, off_grid) << c.size << " level " << c.level;
    }
  }
  ProgramResult r = run_tool("fec-mesh",
                             {"--calib-ini", ini, "--size", "64x32", "--level", "0", "--level",
                              "200", "--dir", mDir.path(), "--png", "mesh.png"},
                             mDir.path());
  EXPECT_EQ(2, r.exit_status) << "one picture shows one level";
}

// Every tool reports the project's version, the compiled ones through the generated header and
// the socsim script through its configured copy: the one line, nothing else, status 0.
TEST(ToolVersions, EachToolPrintsItsNameAndTheProjectVersion) {
  const struct {
    const char *tool;
    bool script;
  } tools[] = {{"fec-compare", false}, {"fec-mesh", false},  {"nv12-testpic", false},
               {"nv12-topng", false},  {"tqzel-sim", false}, {"socsim", true}};
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
