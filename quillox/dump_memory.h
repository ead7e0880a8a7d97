// The local clock and memory reports, assembled from kernel files read through shell commands
// and written to standard output in one piece.
#ifndef QUILLOX_DUMP_MEMORY_H
#define QUILLOX_DUMP_MEMORY_H

#include <string>

class DumpMemory {
 public:
  DumpMemory() = default;
  virtual ~DumpMemory() = default;
  DumpMemory(const DumpMemory &) = delete;
  DumpMemory &operator=(const DumpMemory &) = delete;

  // Appends "----------------- TITLE -----------------\n". Always true.
  bool writeStrHead(const char *title, std::string &out);

  // Each section appends its title, the command's output lines and an empty line; true when
  // the command printed at least one line (both commands for the GPU).
  bool dumpCpuFreq(std::string &out);
  bool dumpVpuFreq(std::string &out);
  bool dumpGpuFreq(std::string &out);
  bool dumpRgaFreq(std::string &out);
  bool dumpMemoryFree(std::string &out);
  // The DRM memory manager's "total" lines and the counts of its "used" and "free" lines (less
  // one each). Stops at the first command without output and returns false.
  bool dumpMemoryMMdump(std::string &out);

  // The clock report on descriptor 1; false (after a message) when it cannot be written.
  bool dumpModuleFreq();
  // The memory report on descriptor 1; false (after a message) when it cannot be written.
  bool dumpMemoryInfo();

 private:
  bool commandSection(const char *title, const char *command, std::string &out);
  bool writeReport(const std::string &report);
};

#endif  // QUILLOX_DUMP_MEMORY_H
