#include "dump_version.h"

#include <string.h>
#include <unistd.h>

#include "fd_write.h"
#include "shell_command.h"
#include "string_format.h"
#include "text_scan.h"

char sLibCommPath[kLibCommPathCount][kLibPathSize];
const char sDefaultLibPath[kDefaultLibPathCount][kLibPathSize] = {
    "/lib/", "/lib64/", "/oem/usr/lib", "/usr/lib", "/vendor/lib", "/system/lib", "", "",
};

namespace {

const char kVersionNeedle[] = "ZEL v";

}  // namespace

bool DumpVersion::dumpSetDumpList(bool list) {
  mDumpList = list;
  return true;
}

int DumpVersion::executeStrings(const char *path, const char *needle, std::string &out) {
  return strings(path, needle, out, mDumpList);
}

int DumpVersion::getVersionStrings(const char *path, const char *needle, std::string &out) {
  int found = executeStrings(path, needle, out);
  if (found != 0) return found;
  // Both words are quoted, so that a directory name cannot run commands. A command that does
  // not fit is not run cut short.
  char command[1024];
  int length = Snprintf(command, sizeof(command), "strings %s | grep %s ", shellQuote(path).c_str(),
                        shellQuote(needle).c_str());
  if (length < 0 || length >= (int)sizeof(command)) return 0;
  return executeCMD(command, out, mDumpList);
}

bool DumpVersion::getLibPath() {
  // Built from scratch: entries that a longer LD_LIBRARY_PATH left would be searched again.
  memset(sLibCommPath, 0, sizeof(sLibCommPath));
  std::string text;
  int filled = 0;
  if (executeCMD("export  | grep LD_LIBRARY_PATH", text, true) > 0) {
    char listing[4096];
    char value[4096] = {};
    Snprintf(listing, sizeof(listing), "%s", text.c_str());
    // The shell prints the value between single quotes: LD_LIBRARY_PATH='...'.
    char *save = nullptr;
    if (strtok_r(listing, "'", &save) != nullptr) {
      const char *quoted = strtok_r(nullptr, "'", &save);
      if (quoted != nullptr) Snprintf(value, sizeof(value), "%s", quoted);
    }
    // Directories beyond kMaxEnvLibPaths are ignored so the defaults always fit behind them.
    for (char *dir = strtok_r(value, ":", &save); dir != nullptr && filled < kMaxEnvLibPaths;
         dir = strtok_r(nullptr, ":", &save)) {
      Snprintf(sLibCommPath[filled++], kLibPathSize, "%s", dir);
    }
  }
  for (int i = 0; i < kDefaultLibPathCount; ++i) {
    memcpy(sLibCommPath[filled + i], sDefaultLibPath[i], kLibPathSize);
  }
  return true;
}

bool DumpVersion::writeVersionHead(const char *name, std::string &out) {
  char line[1024];
  Snprintf(line, sizeof(line), "----------------- %s version -----------------\n", name);
  out += line;
  return true;
}

bool DumpVersion::dumpTqZelVersion(std::string &out) {
  writeVersionHead("libtqzel", out);
  bool found = false;
  for (int i = 0; i < kLibCommPathCount && !found; ++i) {
    char path[1024];
    Snprintf(path, sizeof(path), "%s/%s%s", sLibCommPath[i], "libtqzel", ".so");
    found = access(path, R_OK) == 0 && getVersionStrings(path, kVersionNeedle, out) > 0;
  }
  out += "\n";
  return found;
}

bool DumpVersion::dumpDumpVersion(std::string &out) {
  out += "vantrix version:";
  out += "v2.2";
  out += "\n";
  out += "\n";
  return true;
}

bool DumpVersion::dumpModuleVersion() {
  std::string report;
  getLibPath();
  dumpDumpVersion(report);
  dumpTqZelVersion(report);
  return WriteFully(1, report.data(), (unsigned int)report.size());
}
