// The stand-in library's settings, from its LENSWARP_* environment variables. They are read once,
// on first use: every entry point opens its trace line first, so that is the first call of any
// entry point. A program that changes the variables afterwards changes nothing.
#ifndef SIM_LENSWARP_LIBRARY_SETTINGS_H
#define SIM_LENSWARP_LIBRARY_SETTINGS_H

#include <functional>
#include <string>

#include "warp_engine.h"

namespace lenswarp {

struct LibrarySettings {
  std::string trace_path;    // LENSWARP_TRACE: the call trace's file; empty, no trace
  int threads = 1;           // LENSWARP_THREADS when a positive number, else online CPUs
  std::string kernel;        // LENSWARP_KERNEL: a kernel's name; empty, the default one
  long fail_process_at = 0;  // LENSWARP_FAIL_PROCESS_AT=N: the Nth process call fails
};

// The value of an environment variable by name; null when it is not set.
using EnvLookup = std::function<const char *(const char *name)>;

// The settings that the variables found by `lookup` give on a machine with `online_cpus` CPUs.
LibrarySettings parse_library_settings(const EnvLookup &lookup, long online_cpus);

// This process's settings, read from its environment on the first call.
const LibrarySettings &library_settings();

// The kernel that `settings` name: the default kernel when they name none, null when the name
// is no kernel that this build holds and this CPU runs.
const WarpKernel *chosen_kernel(const LibrarySettings &settings);

}  // namespace lenswarp

#endif  // SIM_LENSWARP_LIBRARY_SETTINGS_H
