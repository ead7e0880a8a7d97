// The tools' shared number parsing and file writing, with their messages byte for byte.
#include "tool_io.h"

#include <gtest/gtest.h>

#include <string>

#include "scratch_dir.h"

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

}  // namespace
