#include "dump_memory.h"

#include <stdio.h>

#include "fd_write.h"
#include "shell_command.h"
#include "string_format.h"

namespace {

const char kMmDumpTotal[] = "cat /sys/kernel/debug/dri/0/mm_dump | grep total";
const char kMmDumpUsed[] = "cat /sys/kernel/debug/dri/0/mm_dump | grep used";
const char kMmDumpFree[] = "cat /sys/kernel/debug/dri/0/mm_dump | grep free";

}  // namespace

bool DumpMemory::writeStrHead(const char *title, std::string &out) {
  char line[1024];
  Snprintf(line, sizeof(line), "----------------- %s -----------------\n", title);
  out += line;
  return true;
}

bool DumpMemory::commandSection(const char *title, const char *command, std::string &out) {
  writeStrHead(title, out);
  char cmd[1024];
  Snprintf(cmd, sizeof(cmd), "%s", command);
  int lines = executeCMD(cmd, out, true);
  out += "\n";
  return lines > 0;
}

bool DumpMemory::dumpCpuFreq(std::string &out) {
  return commandSection(" cpu freq ", "cat /sys/devices/system/cpu/cpu1/cpufreq/scaling_cur_freq",
                        out);
}

bool DumpMemory::dumpVpuFreq(std::string &out) {
  return commandSection(" vpu freq ", "cat /sys/kernel/debug/clk/clk_summary | grep vdec", out);
}

bool DumpMemory::dumpGpuFreq(std::string &out) {
  bool rate = commandSection(" gpu freq ", "cat /sys/kernel/debug/clk/clk_scmi_gpu/clk_rate", out);
  bool load =
      commandSection(" gpu utils ", "cat /sys/devices/platform/fde60000.gpu/utilisation", out);
  return rate && load;
}

bool DumpMemory::dumpRgaFreq(std::string &out) {
  return commandSection(" rga freq ", "cat /sys/kernel/debug/clk/clk_summary | grep -E rga", out);
}

bool DumpMemory::dumpMemoryFree(std::string &out) {
  return commandSection(" memory info ", "free", out);
}

bool DumpMemory::dumpMemoryMMdump(std::string &out) {
  writeStrHead(" memory dump ", out);
  if (executeCMD(kMmDumpTotal, out, true) == 0) return false;
  std::string scratch;
  int used = executeCMD(kMmDumpUsed, scratch, true);
  if (used == 0) return false;
  StringAppendF(&out, "used number : %-20d", used - 1);
  int unused = executeCMD(kMmDumpFree, scratch, true);
  if (unused == 0) return false;
  StringAppendF(&out, " free number : %-20d", unused - 1);
  out += "\n";
  return true;
}

bool DumpMemory::writeReport(const std::string &report) {
  if (!WriteFully(1, report.data(), (unsigned int)report.size())) {
    puts("Failed to write while dumping memory ");
    return false;
  }
  return true;
}

bool DumpMemory::dumpModuleFreq() {
  std::string report;
  dumpCpuFreq(report);
  dumpVpuFreq(report);
  dumpGpuFreq(report);
  dumpRgaFreq(report);
  return writeReport(report);
}

bool DumpMemory::dumpMemoryInfo() {
  std::string report;
  dumpMemoryFree(report);
  dumpMemoryMMdump(report);
  return writeReport(report);
}
