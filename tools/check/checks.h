// The checks of camtools-check: whether this board (or the simulated platform) has what warpbench
// and quillox need. Each check returns its verdict, a one-line detail and, unless it passed, a
// hint that says what to do about it.
#ifndef CAMTOOLS_CHECK_CHECKS_H
#define CAMTOOLS_CHECK_CHECKS_H

#include <stddef.h>

#include <string>

enum Verdict {
  VERDICT_OK,
  VERDICT_FAIL,
  VERDICT_INFO,  // an informational check that did not pass
};

struct CheckResult {
  Verdict verdict;
  std::string detail;  // one line
  std::string hint;    // one line; empty when the check passed
};

struct Check {
  const char *name;
  bool required;  // a failure makes the system not ready
  CheckResult (*run)();
};

// The checks in the order they run and are printed.
extern const Check check_table[];
extern const size_t check_count;

// /dev/dri/card0 opens and names its driver, and a GEM object of one page is created, exported
// as a DMA-buf, given a map offset, mapped, unmapped and closed with the commands warpbench's DRM
// back end uses, in its order. Whatever the check acquired is released on every path.
CheckResult check_drm_device();

// libLenswarp.so loads (by dlopen: camtools-check does not link it), exports every operation
// warpbench calls, and runs one frame of a small identity job on two buffers of its own
// allocator, all in a process of its own that may take 10 s: a library that hangs or ends that
// process fails the check. Whatever the probe acquired is released on every path.
CheckResult check_fec_library();

// A fixed data file of warpbench, in the directory warpbench takes it from, is a regular file of
// the size its name promises, and opens for reading.
CheckResult check_input_picture();
CheckResult check_mesh_level0();
CheckResult check_mesh_level200();

// The tuning service, where quillox finds it (the address as quillox reads it), answers a dump
// request whole within the idle time-out (QUILLOX_TIMEOUT as quillox reads it, here 5 s by
// default) and quillox's size limit (QUILLOX_MAX_DUMP), and within a deadline of 10 s for the
// whole exchange, which ends it whatever pace the service keeps.
CheckResult check_tuning_service();

// Standard input is a terminal, as warpbench -t needs; VERDICT_INFO when it is not.
CheckResult check_terminal();

#endif  // CAMTOOLS_CHECK_CHECKS_H
