#include "text_scan.h"

#include <ctype.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <random>
#include <string>

#include "scratch_dir.h"
#include "shell_command.h"

namespace {

// The scan as defined byte by byte with getc: the reference the block reader must match.
int referenceStrings(const std::string &path, const char *needle, std::string &output, bool all) {
  FILE *f = fopen(path.c_str(), "r");
  if (f == nullptr) return 0;
  char run[4096];
  size_t length = 0;
  int result = 0;
  auto flush = [&]() {
    run[length] = '\0';
    length = 0;
    if (strstr(run, needle) == nullptr) return true;
    output += run;
    output += "\n";
    result = 1;
    return all;
  };
  int c;
  bool going = true;
  while (going && (c = getc(f)) != EOF) {
    if (isprint(c) || c == '\t') {
      if (length < sizeof(run) - 1) {
        run[length++] = (char)c;
      } else {
        going = flush();
      }
    } else if (length >= 4) {
      going = flush();
    } else {
      length = 0;
    }
  }
  if (going && length >= 4) flush();
  fclose(f);
  return result;
}

// Output of a shell command, whole.
std::string commandOutput(const std::string &cmd) {
  std::string out;
  FILE *p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

class StringsScan : public testing::Test {
 protected:
  std::string write(const std::string &bytes) {
    mDir.write("file", bytes);
    return mDir.file("file");
  }
  ScratchDir mDir;
};

TEST_F(StringsScan, ShortRunsAreNeverConsidered) {
  std::string path = write(std::string("abc\0DEFGH\n", 10));
  std::string out;
  EXPECT_EQ(1, strings(path.c_str(), "EFG", out, false));
  EXPECT_EQ("DEFGH\n", out);
  out.clear();
  EXPECT_EQ(0, strings(path.c_str(), "abc", out, true));
  EXPECT_EQ("", out);
}

TEST_F(StringsScan, AllCollectsEveryMatchInFileOrderAndFirstStopsAtOne) {
  std::string path = write(std::string("ZEL v1.0\0xx\0noise\0TQZEL v2.1 rc\x01ZEL v3", 38));
  std::string out = "kept\n";
  EXPECT_EQ(1, strings(path.c_str(), "ZEL v", out, true));
  EXPECT_EQ("kept\nZEL v1.0\nTQZEL v2.1 rc\nZEL v3\n", out);
  out.clear();
  EXPECT_EQ(1, strings(path.c_str(), "ZEL v", out, false));
  EXPECT_EQ("ZEL v1.0\n", out);
}

TEST_F(StringsScan, TabIsPrintableOtherControlAndHighBytesAreNot) {
  std::string path = write(
      "ab\tc\x7f"
      "defg\x80hijk\nlmn\x1fopqr");
  std::string out;
  EXPECT_EQ(1, strings(path.c_str(), "", out, true));
  EXPECT_EQ("ab\tc\ndefg\nhijk\nopqr\n", out);
}

// A run holds at most 4095 characters; the byte that would be the 4096th is dropped.
TEST_F(StringsScan, RunsAroundTheRunBuffer) {
  struct {
    size_t length;
    std::string expected;
  } cases[] = {
      {4094, std::string(4094, 'a') + "\n"},
      {4095, std::string(4095, 'a') + "\n"},
      {4096, std::string(4095, 'a') + "\n"},
      {4100, std::string(4095, 'a') + "\n" + "aaaa\n"},
      {8191, std::string(4095, 'a') + "\n" + std::string(4095, 'a') + "\n"},
  };
  for (const auto &c : cases) {
    std::string path = write(std::string(c.length, 'a') + std::string(1, '\0'));
    std::string out;
    EXPECT_EQ(1, strings(path.c_str(), "", out, true)) << c.length;
    EXPECT_EQ(c.expected, out) << c.length;
  }
}

TEST_F(StringsScan, MissingFileIsReportedOnStandardError) {
  std::string path = mDir.file("absent.so");
  std::string out;
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, strings(path.c_str(), "x", out, true));
  EXPECT_EQ("open " + path + " error.\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ("", out);
}

// Random files with runs of every length, across the reader's block boundaries, give the same
// result as the byte-by-byte definition.
TEST_F(StringsScan, BlockReadingMatchesTheByteByByteDefinition) {
  std::mt19937 random(4894);
  for (int round = 0; round < 6; ++round) {
    std::string bytes;
    while (bytes.size() < 300 * 1024) {
      int kind = (int)(random() % 10);
      size_t length = kind == 0 ? 3000 + random() % 3000 : random() % 12;
      for (size_t i = 0; i < length; ++i) bytes += (char)(0x20 + random() % 0x5f);
      if (random() % 7 == 0) bytes += "ZEL v" + std::to_string(round);
      bytes += (char)(random() % 3 == 0 ? '\t' : random() % 0x20);
    }
    std::string path = write(bytes);
    for (const char *needle : {"", "ZEL v", "q", "~~"}) {
      for (bool all : {true, false}) {
        std::string expected, got;
        int expectedResult = referenceStrings(path, needle, expected, all);
        EXPECT_EQ(expectedResult, strings(path.c_str(), needle, got, all)) << needle;
        EXPECT_EQ(expected, got) << "round " << round << " needle '" << needle << "'";
      }
    }
  }
}

// On a real binary the scan lists what GNU strings lists.
TEST_F(StringsScan, MatchesGnuStringsOnARealBinary) {
  const std::string binary = QUILLOX_SAMPLE_BINARY;
  if (commandOutput("command -v strings").empty()) GTEST_SKIP() << "GNU strings is not installed";
  std::string expected = commandOutput("strings -a -n 4 " + shellQuote(binary));
  ASSERT_FALSE(expected.empty());
  std::string got;
  EXPECT_EQ(1, strings(binary.c_str(), "", got, true));
  EXPECT_EQ(expected, got);

  expected = commandOutput("strings -a -n 4 " + shellQuote(binary) + " | grep -F 'DUMP OF'");
  ASSERT_FALSE(expected.empty());
  got.clear();
  EXPECT_EQ(1, strings(binary.c_str(), "DUMP OF", got, true));
  EXPECT_EQ(expected, got);
}

}  // namespace
