// Deadline arithmetic and the rate-line figures of the frame loop, free of clocks so that they
// can be checked with any timestamps.
#ifndef WARPBENCH_FRAME_PACING_H
#define WARPBENCH_FRAME_PACING_H

#include <stdint.h>
#include <sys/time.h>
#include <time.h>

// Moves an absolute deadline on by `period_ns`, keeping nanoseconds in 0..999999999.
void advance_deadline(struct timespec *deadline, int32_t period_ns);

// A CLOCK_MONOTONIC reading in nanoseconds.
inline int64_t timespec_ns(const struct timespec *t) {
  return (int64_t)t->tv_sec * 1000000000 + t->tv_nsec;
}

// Frames are paced, and rate lines printed, only for a positive fps.
inline bool pacing_enabled(int32_t fps) {
  return fps > 0;
}

// Whether the rate line is due after the frame counted as `frames_before` (a report has started).
bool rate_line_due(uint32_t frames_before, int32_t fps);

// Seconds from `then` to `now` in single precision, each difference a signed 32-bit value.
float elapsed_seconds(const struct timeval *now, const struct timeval *then);

// "Current fps": `fps` frames are assumed to have completed in the window.
double current_fps(int32_t fps, float window_seconds);

// "Total avg fps": `frames` frames since the first stamp.
double average_fps(uint32_t frames, float total_seconds);

#endif  // WARPBENCH_FRAME_PACING_H
