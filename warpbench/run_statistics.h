// Per-frame run statistics, switched on from the environment: a one-line JSON summary
// (WARPBENCH_STATS) and one CSV line per frame (WARPBENCH_FRAMES). The frame loop only records
// into fixed storage; the files are written between frames when the frame log fills, and at the
// teardown.
#ifndef WARPBENCH_RUN_STATISTICS_H
#define WARPBENCH_RUN_STATISTICS_H

#include <stdint.h>
#include <time.h>

#include "frame_times.h"
#include "latency_histogram.h"

// The frame log holds this many records (32 bytes each, 512 KiB, 16 s at 1000 fps); when it is
// full it is written out after the frame that filled it, before the wait for the next deadline,
// so a long run pays a few milliseconds once per block rather than an allocation or a write per
// frame, and a run of fewer frames writes only at the teardown.
#define FRAME_LOG_RECORDS 16384

// The CSV line of a frame, as the frame log holds it.
struct FrameRecord {
  int64_t deadline_ns, start_ns, end_ns, write_ns;
};

// What the loop has recorded so far.
struct RunStatistics {
  bool loop_started;
  struct timespec set_up_wall;  // CLOCK_REALTIME when the files were opened
  int64_t set_up_ns, loop_start_ns, loop_end_ns;
  // Engine calls and frames written are the counts of `engine` and `write`.
  uint64_t frames_skipped, engine_failures, deadlines_missed;
  LatencyHistogram engine, lateness, write;
  FrameRecord *frame_log;  // FRAME_LOG_RECORDS, only while WARPBENCH_FRAMES is open
  uint32_t frame_log_used;
  uint64_t frames_logged;  // records written out so far, so the frame index goes on across blocks
};

// What the loop has recorded, from open_run_statistics to close_run_statistics; only the main
// thread touches it. Zero it again before another run in the same process (tests, benchmarks).
extern RunStatistics run_stats;

// CLOCK_MONOTONIC in nanoseconds.
int64_t monotonic_ns();

// How late a frame began against its deadline, floored at 0: the loop sleeps until the deadline,
// so only a clock read before it (none in practice) would give less.
uint64_t frame_lateness_ns(int64_t deadline_ns, int64_t start_ns);

// A deadline is missed when the engine call began more than one period after it.
bool deadline_missed(int64_t deadline_ns, int64_t start_ns, int32_t period_ns);

// Reads WARPBENCH_STATS and WARPBENCH_FRAMES and opens the files they name, allocating the frame
// log. A name that is one of the standard streams (the same device and inode) is written through
// that stream's descriptor, without truncating it. A FIFO is waited for until it has a reader,
// but a stop signal ends that wait. A file that does not open is reported on standard error,
// whatever -s says, and left out; the run goes on.
void open_run_statistics();

// Whether either file is open, so that the loop times its frames.
bool run_statistics_wanted();

// Marks the start and end of the frame loop; `first_deadline_ns` begins the schedule.
void begin_frame_loop(int64_t first_deadline_ns);
void end_frame_loop();

// Counts one frame into the distributions and the frame log, writing the log out when full.
void record_frame(const FrameTimes *frame, int32_t fps, int32_t period_ns);

// Writes what is still in the frame log and the summary, when the frame loop started, then closes
// both files and frees the log. Writes end on line boundaries (at most PIPE_BUF bytes each on a
// pipe); a file not ready is waited for, but a stop signal ends the wait. A failed write is said
// once on standard error, whatever -s says, and nothing more goes to that file.
void close_run_statistics();

#endif  // WARPBENCH_RUN_STATISTICS_H
