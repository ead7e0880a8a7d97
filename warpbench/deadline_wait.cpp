#include "deadline_wait.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include "frame_pacing.h"
#include "stop_signals.h"

namespace {

int32_t spin_us = 0;

// Lets the other hardware thread of the core run while this one only watches the clock.
inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__arm__) || defined(__aarch64__)
  __asm__ __volatile__("yield");
#endif
}

}  // namespace

int read_deadline_spin() {
  const char *text = getenv("WARPBENCH_SPIN_US");
  if (text == nullptr || *text == '\0') return 0;
  // Digits only: strtol would take a sign, blanks and trailing text.
  long value = 0;
  const char *c = text;
  for (; isdigit((unsigned char)*c) && value <= MAX_SPIN_US; ++c) value = value * 10 + (*c - '0');
  if (*c != '\0' || value > MAX_SPIN_US) {
    fprintf(stderr,
            "warpbench: WARPBENCH_SPIN_US: %s is not a whole number of microseconds from 0 to %d\n",
            text, MAX_SPIN_US);
    return -1;
  }
  spin_us = (int32_t)value;
  return 0;
}

int32_t deadline_spin_us() {
  return spin_us;
}

void wait_for_deadline(const struct timespec *deadline) {
  if (spin_us == 0) {
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, deadline, nullptr);
    return;
  }
  struct timespec spin_start = *deadline;
  advance_deadline(&spin_start, -spin_us * 1000);
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &spin_start, nullptr);
  const int64_t deadline_ns = timespec_ns(deadline);
  struct timespec now;
  for (;;) {
    if (caught_stop_signal() != 0) return;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (timespec_ns(&now) >= deadline_ns) return;
    relax();
  }
}
