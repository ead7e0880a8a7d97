// The floor of a paced loop's start lateness on this machine: a loop that does nothing but wait
// for absolute CLOCK_MONOTONIC deadlines, as warpbench's does (timer slack 1 ns; with SPIN_US, a
// sleep until that many microseconds before each deadline and clock reads until it), and reads
// the clock once awake. Prints one CSV line per frame, as warpbench's WARPBENCH_FRAMES does:
//   frame,deadline_ns,start_ns
// Usage: bare_sleep_loop FPS FRAMES [SPIN_US]
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <time.h>

#include <vector>

namespace {

int64_t ns_of(const struct timespec &t) {
  return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

struct timespec timespec_of(int64_t ns) {
  return {(time_t)(ns / 1000000000), (long)(ns % 1000000000)};
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: bare_sleep_loop FPS FRAMES [SPIN_US]\n");
    return 2;
  }
  const int64_t period = 1000000000 / atoi(argv[1]);
  const int frames = atoi(argv[2]);
  const int64_t spin = argc > 3 ? atoll(argv[3]) * 1000 : 0;
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  std::vector<int64_t> starts((size_t)frames);
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const int64_t first = ns_of(now);
  for (int k = 0; k < frames; ++k) {
    const int64_t deadline = first + k * period;
    const struct timespec wake = timespec_of(deadline - spin);
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr);
    do {
      clock_gettime(CLOCK_MONOTONIC, &now);
    } while (ns_of(now) < deadline);
    starts[(size_t)k] = ns_of(now);
  }
  printf("frame,deadline_ns,start_ns\n");
  for (int k = 0; k < frames; ++k) {
    printf("%d,%lld,%lld\n", k, (long long)(first + k * period), (long long)starts[(size_t)k]);
  }
  return 0;
}
