// A fixed-size log-linear histogram of durations in nanoseconds, filled in the frame loop without
// allocating, with exact count, minimum, maximum and mean beside it.
#ifndef WARPBENCH_LATENCY_HISTOGRAM_H
#define WARPBENCH_LATENCY_HISTOGRAM_H

#include <stdint.h>

// Values below 128 ns have a bucket each; above, every power of two is cut into 64 equal buckets,
// so a bucket is at most 1/64 of its lower bound wide and its midpoint is within 1/128 (0.79 %)
// of any value in it. Values from 2^36 ns (about 69 s) on share the last bucket: their
// percentiles are only known to be at least that much, though min, max and mean stay exact.
#define LATENCY_SUB_BUCKETS 64
#define LATENCY_TOP_BIT 35
#define LATENCY_BUCKETS (LATENCY_SUB_BUCKETS * (LATENCY_TOP_BIT - 5) + LATENCY_SUB_BUCKETS)

struct LatencyHistogram {
  uint64_t buckets[LATENCY_BUCKETS];
  uint64_t count;
  uint64_t min_ns, max_ns;
  uint64_t sum_ns;
};

// The bucket that holds `value_ns`.
uint32_t latency_bucket(uint64_t value_ns);

// The midpoint of bucket `index`, which the percentiles report.
uint64_t latency_bucket_midpoint(uint32_t index);

// Counts one value; negative durations are not taken, the caller floors them.
void histogram_record(LatencyHistogram *h, uint64_t value_ns);

// The value at `per_mille` (1..1000; 999 for p99.9) by nearest rank, as its bucket's midpoint
// kept within min and max; 0 for an empty histogram. Whole per-mille keep the rank exact.
uint64_t histogram_percentile(const LatencyHistogram *h, uint32_t per_mille);

// The exact mean; 0 for an empty histogram.
double histogram_mean_ns(const LatencyHistogram *h);

#endif  // WARPBENCH_LATENCY_HISTOGRAM_H
