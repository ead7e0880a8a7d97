#include "frame_pacing.h"

void advance_deadline(struct timespec *deadline, int32_t period_ns) {
  int64_t nsec = (int64_t)deadline->tv_nsec + period_ns;
  int64_t carry = nsec / 1000000000;
  nsec -= carry * 1000000000;
  // A negative period (negative fps) may take the nanoseconds below zero; keep them in range.
  if (nsec < 0) {
    nsec += 1000000000;
    carry -= 1;
  }
  deadline->tv_sec += (time_t)carry;
  deadline->tv_nsec = (long)nsec;
}

bool rate_line_due(uint32_t frames_before, int32_t fps) {
  return pacing_enabled(fps) && frames_before % (uint32_t)fps == 0;
}

float elapsed_seconds(const struct timeval *now, const struct timeval *then) {
  int32_t sec = (int32_t)((uint32_t)now->tv_sec - (uint32_t)then->tv_sec);
  int32_t usec = (int32_t)((uint32_t)now->tv_usec - (uint32_t)then->tv_usec);
  return (float)sec + (float)usec / 1000000.0f;
}

double current_fps(int32_t fps, float window_seconds) {
  return (double)(float)fps / (double)window_seconds;
}

double average_fps(uint32_t frames, float total_seconds) {
  return (double)(float)frames / (double)total_seconds;
}
