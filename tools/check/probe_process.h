// Running a probe that may hang or end its process (a library's code) in a child process, with a
// time limit, so that camtools-check itself goes on to its other checks.
#ifndef CAMTOOLS_CHECK_PROBE_PROCESS_H
#define CAMTOOLS_CHECK_PROBE_PROCESS_H

#include <string>

// How a probe's process went.
struct ProbeEnd {
  int start_error;   // errno of a pipe or fork that failed (then nothing ran), else 0
  bool timed_out;    // still running at the limit: killed with SIGKILL
  int status;        // its wait status, when it ended by itself
  std::string sent;  // every byte it wrote to its descriptor, up to its end or the kill
};

// Runs `probe(fd)` in a child process that then ends with _exit(0); `fd` is a pipe to the parent.
// The child's standard output is its standard error, so that nothing it prints reaches the
// report; a signal ends it with the signal's own action, without a core file. The parent waits at
// most `limit_s` seconds, then kills it (waiting a second more to reap it, no longer: a process
// stuck in the kernel cannot be).
ProbeEnd run_probe_process(void (*probe)(int fd), unsigned int limit_s);

#endif  // CAMTOOLS_CHECK_PROBE_PROCESS_H
