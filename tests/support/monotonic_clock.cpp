#include "monotonic_clock.h"

#include <time.h>
#include <unistd.h>

double monotonic_s() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

bool wait_until(const std::function<bool()> &predicate, double timeout_s) {
  const double deadline = monotonic_s() + timeout_s;
  // Short first pauses catch quick events at once; longer ones keep a slow wait cheap.
  useconds_t pause = 1000;
  while (monotonic_s() < deadline) {
    if (predicate()) return true;
    usleep(pause);
    if (pause < 20000) pause *= 2;
  }
  return predicate();
}
