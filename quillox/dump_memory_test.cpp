#include "dump_memory.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "fake_tools.h"

namespace {

const char kMmDump[] = "/sys/kernel/debug/dri/0/mm_dump";

// The sections run their commands with fake tools first on PATH.
class DumpMemoryTest : public testing::Test {
 protected:
  void SetUp() override {
    const char *path = getenv("PATH");
    mSavedPath = path != nullptr ? path : "";
    setenv("PATH", mTools.searchPath().c_str(), 1);
  }
  void TearDown() override { setenv("PATH", mSavedPath.c_str(), 1); }

  std::string mSavedPath;
  FakeTools mTools;
  DumpMemory mMemory;
};

TEST_F(DumpMemoryTest, ASectionWithoutOutputIsItsTitleAndAnEmptyLine) {
  std::string out;
  EXPECT_FALSE(mMemory.dumpCpuFreq(out));
  EXPECT_EQ("-----------------  cpu freq  -----------------\n\n", out);
  // The GPU section needs both commands.
  mTools.kernelFile("/sys/kernel/debug/clk/clk_scmi_gpu/clk_rate", "800000000\n");
  out.clear();
  EXPECT_FALSE(mMemory.dumpGpuFreq(out));
  EXPECT_EQ(
      "-----------------  gpu freq  -----------------\n800000000\n\n"
      "-----------------  gpu utils  -----------------\n\n",
      out);
}

std::string mmDump(int used, int unused) {
  std::string text = "0x00000000-0x40000000: 1073741824: total\n";
  for (int i = 0; i < used; ++i) text += "0x" + std::to_string(i) + ": 4096: used\n";
  for (int i = 0; i < unused; ++i) text += "0x" + std::to_string(i) + ": 8192: free\n";
  return text;
}

TEST_F(DumpMemoryTest, MemoryManagerCountsAreLinesLessOne) {
  struct {
    int used, unused;
    std::string line;
  } cases[] = {
      {13, 4,
       "used number : 12" + std::string(18, ' ') + " free number : 3" + std::string(19, ' ') +
           "\n"},
      {1, 1,
       "used number : 0" + std::string(19, ' ') + " free number : 0" + std::string(19, ' ') + "\n"},
  };
  for (const auto &c : cases) {
    mTools.kernelFile(kMmDump, mmDump(c.used, c.unused));
    std::string out;
    EXPECT_TRUE(mMemory.dumpMemoryMMdump(out));
    EXPECT_EQ(
        "-----------------  memory dump  -----------------\n"
        "0x00000000-0x40000000: 1073741824: total\n" +
            c.line,
        out);
  }
}

TEST_F(DumpMemoryTest, MemoryManagerStopsAtTheFirstCommandWithoutOutput) {
  std::string out;
  EXPECT_FALSE(mMemory.dumpMemoryMMdump(out));
  EXPECT_EQ("-----------------  memory dump  -----------------\n", out);

  mTools.kernelFile(kMmDump, mmDump(3, 0));
  out.clear();
  EXPECT_FALSE(mMemory.dumpMemoryMMdump(out));
  EXPECT_EQ(
      "-----------------  memory dump  -----------------\n"
      "0x00000000-0x40000000: 1073741824: total\n"
      "used number : 2" +
          std::string(19, ' '),
      out);
}

}  // namespace
