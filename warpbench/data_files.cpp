#include "data_files.h"

#include <stdlib.h>

#include <map>
#include <mutex>
#include <string>

const char *data_file_path(const char *name) {
  // Built once per name and kept: the paths are handed out as C strings for the whole run, to
  // the main thread and the console alike.
  static std::mutex lock;
  static std::map<std::string, std::string> paths;
  std::lock_guard<std::mutex> guard(lock);
  auto it = paths.find(name);
  if (it != paths.end()) return it->second.c_str();
  const char *dir = getenv("WARPBENCH_DATA_DIR");
  std::string path = dir != nullptr && *dir != '\0' ? dir : "/data";
  if (path.back() != '/') path += '/';
  return paths.emplace(name, path + name).first->second.c_str();
}
