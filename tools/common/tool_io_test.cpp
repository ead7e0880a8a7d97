// The tools' shared number parsing and file writing, with their messages byte for byte.
#include "tool_io.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

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

// What `write_whole_file` wrote on standard error.
std::string written_error(const char *path, const std::string &bytes, bool *ok) {
  fflush(stderr);
  char name[] = "/tmp/tool_io_test.XXXXXX";
  int capture = mkstemp(name), saved = dup(2);
  dup2(capture, 2);
  *ok = write_whole_file("tool", path, bytes.data(), bytes.size());
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  close(capture);
  std::ostringstream s;
  s << std::ifstream(name).rdbuf();
  unlink(name);
  return s.str();
}

TEST(ToolIo, WholeFilesAreWrittenOrTheFailureSaid) {
  char dir[] = "/tmp/tool_io_test.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string file = std::string(dir) + "/out.bin", bytes(5000, 'b');
  struct Case {
    std::string path;
    bool ok;
    std::string err;
  };
  const Case cases[] = {
      {file, true, ""},
      {std::string(dir) + "/none/out.bin", false,
       "tool: cannot open " + std::string(dir) + "/none/out.bin: No such file or directory\n"},
      {"/dev/full", false, "tool: cannot write /dev/full\n"},
  };
  for (const Case &c : cases) {
    bool ok = !c.ok;
    EXPECT_EQ(c.err, written_error(c.path.c_str(), bytes, &ok)) << c.path;
    EXPECT_EQ(c.ok, ok) << c.path;
  }
  std::ostringstream s;
  s << std::ifstream(file).rdbuf();
  EXPECT_EQ(bytes, s.str());
  unlink(file.c_str());
  rmdir(dir);
}

}  // namespace
