// quillox's local reports as a user sees them, with fake kernel files, tools and libraries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_tools.h"
#include "program_runner.h"
#include "quillox_support.h"

namespace {

const char kVersionHead[] =
    "vantrix version:v2.2\n\n----------------- libtqzel version -----------------\n";

class QuilloxReport : public testing::Test {
 protected:
  ProgramResult quillox(const std::vector<std::string> &args,
                        std::map<std::string, std::string> env = {}) {
    env.emplace("PATH", mTools.searchPath());
    ProgramRun run = quilloxRun(args, env);
    run.cwd = mTools.dir().path();
    return run_program(run);
  }
  // A directory holding a fake libtqzel.so with these texts between binary bytes.
  std::string library(const std::string &name, const std::vector<std::string> &texts) {
    std::string dir = mTools.dir().make_dir(name);
    mTools.dir().write(name + "/libtqzel.so", fakeTqzelLibrary(texts));
    return dir;
  }
  FakeTools mTools;
};

TEST_F(QuilloxReport, ClockReportHasFiveSectionsInOrder) {
  mTools.kernelFile("/sys/devices/system/cpu/cpu1/cpufreq/scaling_cur_freq", "1416000\n");
  mTools.kernelFile("/sys/kernel/debug/clk/clk_summary",
                    " aclk_vdec 1 1 0 396000000\n aclk_rga 1 1 0 297000000\n"
                    " clk_cpu 1 1 0 1416000000\n hclk_vdec 1 1 0 148500000\n"
                    " clk_rga_core 1 1 0 594000000\n");
  mTools.kernelFile("/sys/kernel/debug/clk/clk_scmi_gpu/clk_rate", "800000000\n");
  mTools.kernelFile("/sys/devices/platform/fde60000.gpu/utilisation", "37\n");
  ProgramResult r = quillox({"--freq"});
  EXPECT_EQ(
      "-----------------  cpu freq  -----------------\n1416000\n\n"
      "-----------------  vpu freq  -----------------\n aclk_vdec 1 1 0 396000000\n"
      " hclk_vdec 1 1 0 148500000\n\n"
      "-----------------  gpu freq  -----------------\n800000000\n\n"
      "-----------------  gpu utils  -----------------\n37\n\n"
      "-----------------  rga freq  -----------------\n aclk_rga 1 1 0 297000000\n"
      " clk_rga_core 1 1 0 594000000\n\n",
      r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.exit_status);
}

TEST_F(QuilloxReport, ClockReportWithoutKernelFilesKeepsItsTitles) {
  ProgramResult r = quillox({"--freq"});
  EXPECT_EQ(
      "-----------------  cpu freq  -----------------\n\n"
      "-----------------  vpu freq  -----------------\n\n"
      "-----------------  gpu freq  -----------------\n\n"
      "-----------------  gpu utils  -----------------\n\n"
      "-----------------  rga freq  -----------------\n\n",
      r.out);
  EXPECT_NE(std::string::npos, r.err.find("No such file")) << "cat complains on stderr";
  EXPECT_EQ(1, r.exit_status);
}

TEST_F(QuilloxReport, MemoryReportWithoutTheMemoryManagerDump) {
  mTools.freeOutput("Mem: 1 2 3\n");
  ProgramResult r = quillox({"--mem"});
  EXPECT_EQ(
      "-----------------  memory info  -----------------\nMem: 1 2 3\n\n"
      "-----------------  memory dump  -----------------\n",
      r.out);
  EXPECT_EQ(1, r.exit_status);
}

TEST_F(QuilloxReport, AReportThatCannotBeWrittenEndsWithStatusZero) {
  mTools.freeOutput("Mem: 1 2 3\n");
  for (const char *option : {"--mem", "--freq"}) {
    ProgramRun run = quilloxRun({option}, {{"PATH", mTools.searchPath()}});
    run.stdout_to = "/dev/full";
    EXPECT_EQ(0, run_program(run).exit_status) << option;
  }
}

TEST_F(QuilloxReport, VersionReport) {
  std::string dir = library("lib", {"TQZEL v3.1.4 2024-01-09", "ZEL v3.1.4-extra"});
  ProgramResult r = quillox({"--version"}, {{"LD_LIBRARY_PATH", dir}});
  EXPECT_EQ(std::string(kVersionHead) + "TQZEL v3.1.4 2024-01-09\n\n", r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.exit_status);

  r = quillox({"version"}, {{"LD_LIBRARY_PATH", dir}});
  EXPECT_EQ(std::string(kVersionHead) + "TQZEL v3.1.4 2024-01-09\n\n", r.out);
  r = quillox({"--list", "--version"}, {{"LD_LIBRARY_PATH", dir}});
  EXPECT_EQ(std::string(kVersionHead) + "TQZEL v3.1.4 2024-01-09\nZEL v3.1.4-extra\n\n", r.out);
}

// quillox ignores SIGPIPE, but the commands it starts must not: the fallback reads one line of
// "strings | grep" and closes the pipe, and the tools must end quietly, not with "write error".
TEST_F(QuilloxReport, CommandsWhoseReaderStopsEarlyEndQuietly) {
  std::string lines;
  for (int i = 0; i < 100000; ++i) lines += "TQZEL v" + std::to_string(i) + "\n";
  mTools.stringsOutput(lines);
  std::string dir = library("lib", {"no version"});
  ProgramResult r = quillox({"version"}, {{"LD_LIBRARY_PATH", dir}});
  EXPECT_EQ(std::string(kVersionHead) + "TQZEL v0\n\n", r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.exit_status);
}

}  // namespace
