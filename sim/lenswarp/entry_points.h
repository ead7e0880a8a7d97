// What every entry point of the stand-in library shares: how it is exported from a library whose
// other symbols stay hidden, and how it reports a failure under the library's contract.
#ifndef SIM_LENSWARP_ENTRY_POINTS_H
#define SIM_LENSWARP_ENTRY_POINTS_H

#include <errno.h>

#include "call_trace.h"

#define LENSWARP_EXPORT extern "C" __attribute__((visibility("default")))

namespace lenswarp {

// An entry point's result for the error number `err`: 0 for none, else -1 with errno set.
inline int result_of(int err) {
  if (err == 0) return 0;
  errno = err;
  return -1;
}

// How every entry point that reports an error number ends: its trace line is finished with the
// result and the error, and the result is returned.
inline int traced_result(TraceLine &trace, int err) {
  trace.finish(err ? -1 : 0, err, err);
  return result_of(err);
}

}  // namespace lenswarp

#endif  // SIM_LENSWARP_ENTRY_POINTS_H
