// The tools' shared number parsing and file writing (whole files and PNGs), with their messages
// byte for byte.
#include "tool_io.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "scratch_dir.h"
#include "tool_png.h"

namespace {

TEST(ToolIo, NumbersAreWholeAndInRange) {
  struct Case {
    const char *text;
    bool ok;
    long value;
  };
  const Case cases[] = {{"0", true, 0},   {"16", true, 16}, {"17", false, 0},
                        {"-1", false, 0}, {"", false, 0},   {"4x", false, 0},
                        {"x4", false, 0}, {" 3", true, 3},  {"99999999999999999999", false, 0}};
  for (const Case &c : cases) {
    long value = -7;
    EXPECT_EQ(c.ok, parse_number(c.text, 0, 16, &value)) << c.text;
    if (c.ok) {
      EXPECT_EQ(c.value, value) << c.text;
    }
  }
}

TEST(ToolIo, WholeFilesAreWrittenOrTheFailureSaid) {
  ScratchDir dir;
  const std::string bytes(5000, 'b');
  struct Case {
    std::string path;
    bool ok;
    std::string err;
  };
  const Case cases[] = {
      {dir.file("out.bin"), true, ""},
      {dir.file("none/out.bin"), false,
       "tool: cannot open " + dir.file("none/out.bin") + ": No such file or directory\n"},
      {"/dev/full", false, "tool: cannot write /dev/full\n"},
  };
  for (const Case &c : cases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.ok, write_whole_file("tool", c.path.c_str(), bytes.data(), bytes.size())) << c.path;
    EXPECT_EQ(c.err, testing::internal::GetCapturedStderr()) << c.path;
  }
  EXPECT_EQ(bytes, dir.read("out.bin"));
}

// A file cut short (writes past 4096 bytes fail, as on a full disk) is removed, the whole file and
// the PNG alike; a device is never removed.
TEST(ToolIo, AFileNotWrittenWholeIsNotLeftBehind) {
  ScratchDir dir;
  const std::string bytes(5000, 'b');
  // Noise does not compress, so its PNG is larger than the limit too.
  std::vector<uint8_t> rgb(64 * 64 * 3);
  uint32_t state = 1;
  for (uint8_t &v : rgb) v = (uint8_t)((state = state * 1103515245 + 12345) >> 24);
  struct rlimit before;
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &before));
  struct rlimit limit = before;
  limit.rlim_cur = 4096;
  void (*xfsz)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
  testing::internal::CaptureStderr();
  const bool whole =
      write_whole_file("tool", dir.file("cut.bin").c_str(), bytes.data(), bytes.size());
  const bool png = write_rgb_png("tool", dir.file("cut.png").c_str(), 64, 64, rgb.data());
  const bool device = write_rgb_png("tool", "/dev/full", 64, 64, rgb.data());
  const std::string err = testing::internal::GetCapturedStderr();
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, xfsz);
  EXPECT_FALSE(whole);
  EXPECT_FALSE(png);
  EXPECT_FALSE(device);
  EXPECT_EQ("tool: cannot write " + dir.file("cut.bin") +
                "\nlibpng error: Write Error\ntool: cannot write " + dir.file("cut.png") +
                "\nlibpng error: Write Error\ntool: cannot write /dev/full\n",
            err);
  EXPECT_NE(0, access(dir.file("cut.bin").c_str(), F_OK)) << "the cut file was left";
  EXPECT_NE(0, access(dir.file("cut.png").c_str(), F_OK)) << "the cut PNG was left";
  struct stat st;
  ASSERT_EQ(0, stat("/dev/full", &st)) << "the device was removed";
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

}  // namespace
