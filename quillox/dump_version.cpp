#include "dump_version.h"

#include <string.h>
#include <unistd.h>

#include "export_listing.h"
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
  std::string listing;
  std::string found;
  int filled = 0;
  // The whole listing: a value may span lines, and a line of another variable's value may look
  // like an entry of its own.
  if (executeCMD("export", listing, true) > 0 &&
      exportedValue(listing, "LD_LIBRARY_PATH", &found)) {
    char value[4096];
    char *save = nullptr;
    Snprintf(value, sizeof(value), "%s", found.c_str());
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
