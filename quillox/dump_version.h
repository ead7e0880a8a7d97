// The local version report: quillox's own version and the version text found inside the tuning
// service's library libtqzel.so, searched along LD_LIBRARY_PATH and then the system directories.
#ifndef QUILLOX_DUMP_VERSION_H
#define QUILLOX_DUMP_VERSION_H

#include <string>

// The library search table, filled by getLibPath: the LD_LIBRARY_PATH directories (at most
// kMaxEnvLibPaths of them), then the default directories, then empty entries.
constexpr int kLibCommPathCount = 30;
constexpr int kDefaultLibPathCount = 8;
constexpr int kMaxEnvLibPaths = kLibCommPathCount - kDefaultLibPathCount;
constexpr int kLibPathSize = 1024;
extern char sLibCommPath[kLibCommPathCount][kLibPathSize];
extern const char sDefaultLibPath[kDefaultLibPathCount][kLibPathSize];

class DumpVersion {
 public:
  DumpVersion() = default;
  virtual ~DumpVersion() = default;
  DumpVersion(const DumpVersion &) = delete;
  DumpVersion &operator=(const DumpVersion &) = delete;

  // With `list`, every matching text of the library is reported, else the first. Always true.
  bool dumpSetDumpList(bool list);
  // The built-in scan of `path` for runs containing `needle`; 1 on a match, else 0.
  int executeStrings(const char *path, const char *needle, std::string &out);
  // The built-in scan, falling back to "strings PATH | grep NEEDLE" (both quoted for the shell);
  // returns the number of matches appended.
  int getVersionStrings(const char *path, const char *needle, std::string &out);
  // Fills sLibCommPath from the value of LD_LIBRARY_PATH in the shell's export listing, of which
  // the first 4095 bytes count. Always true.
  bool getLibPath();
  // Appends "----------------- NAME version -----------------\n". Always true.
  bool writeVersionHead(const char *name, std::string &out);
  // The library's section; true when a library with version text was found.
  bool dumpTqZelVersion(std::string &out);
  // "vantrix version:v2.2" and an empty line. Always true.
  bool dumpDumpVersion(std::string &out);
  // The whole report on descriptor 1; the result of the write.
  bool dumpModuleVersion();

 private:
  bool mDumpList = false;
};

#endif  // QUILLOX_DUMP_VERSION_H
