// The record of one frame's times, which the frame step fills and the run statistics count.
#ifndef WARPBENCH_FRAME_TIMES_H
#define WARPBENCH_FRAME_TIMES_H

#include <stdint.h>

// One frame as the loop saw it, in CLOCK_MONOTONIC nanoseconds.
struct FrameTimes {
  int64_t deadline_ns;       // 0 when unpaced
  int64_t start_ns, end_ns;  // the engine call
  int64_t write_ns;  // how long the write-out took; 0 when the frame did not reach the file whole
  bool engine_failed;
  bool skipped;  // not written because of --stream-skip
};

#endif  // WARPBENCH_FRAME_TIMES_H
