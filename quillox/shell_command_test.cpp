#include "shell_command.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ExecuteCmd, CountsAndAppendsLines) {
  std::string out = "before\n";
  EXPECT_EQ(3, executeCMD("printf 'one\\ntwo\\nthree\\n'", out, true));
  EXPECT_EQ("before\none\ntwo\nthree\n", out);

  out.clear();
  EXPECT_EQ(1, executeCMD("printf 'one\\ntwo\\nthree\\n'", out, false));
  EXPECT_EQ("one\n", out);
}

TEST(ExecuteCmd, NoOutputAndNoCommandAreZero) {
  std::string out;
  EXPECT_EQ(0, executeCMD("true", out, true));
  EXPECT_EQ(0, executeCMD("quillox-test-no-such-command 2>/dev/null", out, true));
  EXPECT_EQ("", out);
}

TEST(ExecuteCmd, ALastLineWithoutNewlineCounts) {
  std::string out;
  EXPECT_EQ(2, executeCMD("printf 'a\\nb'", out, true));
  EXPECT_EQ("a\nb", out);
}

// One read takes at most 4095 bytes, so longer lines count more than once.
TEST(ExecuteCmd, LinesAroundTheReadBufferCountByRead) {
  struct {
    int characters;  // before the newline
    int count;
  } cases[] = {{4093, 1}, {4094, 1}, {4095, 2}, {4096, 2}, {8190, 3}, {8191, 3}};
  for (const auto &c : cases) {
    std::string cmd = "head -c " + std::to_string(c.characters) + " /dev/zero | tr '\\0' x; echo";
    std::string out;
    EXPECT_EQ(c.count, executeCMD(cmd.c_str(), out, true)) << c.characters;
    EXPECT_EQ(std::string((size_t)c.characters, 'x') + "\n", out) << c.characters;
  }
}

TEST(ShellQuote, QuotesEveryTextAsOneWord) {
  EXPECT_EQ("'ZEL v'", shellQuote("ZEL v"));
  EXPECT_EQ("''", shellQuote(""));
  EXPECT_EQ("'it'\\''s'", shellQuote("it's"));
  for (const std::string text :
       {"ZEL v", "a'b", "$(echo no) `echo no`; echo no | cat & \\n \"q\"", "''", "*?[a]~"}) {
    std::string out;
    std::string cmd = "printf '%s\\n' " + shellQuote(text);
    EXPECT_EQ(1, executeCMD(cmd.c_str(), out, true)) << text;
    EXPECT_EQ(text + "\n", out);
  }
}

}  // namespace
