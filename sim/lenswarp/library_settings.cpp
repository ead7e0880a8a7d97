#include "library_settings.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

#include "thread_pool.h"

namespace lenswarp {
namespace {

int thread_count(const char *value, long online_cpus) {
  if (value != nullptr) {
    char *end;
    long n = strtol(value, &end, 10);
    if (end != value && *end == '\0' && n > 0) {
      return (int)std::min<long>(n, ThreadPool::kMaxThreads);
    }
  }
  return online_cpus > 0 ? (int)std::min<long>(online_cpus, ThreadPool::kMaxThreads) : 1;
}

}  // namespace

LibrarySettings parse_library_settings(const EnvLookup &lookup, long online_cpus) {
  LibrarySettings s;
  const char *trace = lookup("LENSWARP_TRACE");
  if (trace != nullptr) s.trace_path = trace;
  s.threads = thread_count(lookup("LENSWARP_THREADS"), online_cpus);
  const char *kernel = lookup("LENSWARP_KERNEL");
  if (kernel != nullptr) s.kernel = kernel;
  const char *fail_at = lookup("LENSWARP_FAIL_PROCESS_AT");
  if (fail_at != nullptr) s.fail_process_at = strtol(fail_at, nullptr, 10);
  return s;
}

const WarpKernel *chosen_kernel(const LibrarySettings &settings) {
  if (settings.kernel.empty()) return &default_warp_kernel();
  return find_warp_kernel(settings.kernel.c_str());
}

const LibrarySettings &library_settings() {
  // getenv through a lambda: a reference to a Thumb function is an odd address, which UBSan on
  // armhf takes for a misaligned one.
  static const LibrarySettings settings = parse_library_settings(
      [](const char *name) -> const char * { return getenv(name); }, sysconf(_SC_NPROCESSORS_ONLN));
  return settings;
}

}  // namespace lenswarp
