#include "latency_histogram.h"

namespace {

int top_bit(uint64_t v) {
  return 63 - __builtin_clzll(v);
}

}  // namespace

uint32_t latency_bucket(uint64_t value_ns) {
  if (value_ns < 2 * LATENCY_SUB_BUCKETS) return (uint32_t)value_ns;
  int bit = top_bit(value_ns);
  if (bit > LATENCY_TOP_BIT) return LATENCY_BUCKETS - 1;
  // The top seven bits pick the bucket: 64 to 127 after the shift, one run of 64 per shift.
  int shift = bit - 6;
  return (uint32_t)(LATENCY_SUB_BUCKETS * shift + (value_ns >> shift));
}

uint64_t latency_bucket_midpoint(uint32_t index) {
  if (index < 2 * LATENCY_SUB_BUCKETS) return index;
  uint32_t shift = index / LATENCY_SUB_BUCKETS - 1;
  uint64_t low = (uint64_t)(index - LATENCY_SUB_BUCKETS * shift) << shift;
  return low + ((uint64_t)1 << shift) / 2;
}

void histogram_record(LatencyHistogram *h, uint64_t value_ns) {
  ++h->buckets[latency_bucket(value_ns)];
  if (h->count == 0 || value_ns < h->min_ns) h->min_ns = value_ns;
  if (value_ns > h->max_ns) h->max_ns = value_ns;
  h->sum_ns += value_ns;
  ++h->count;
}

uint64_t histogram_percentile(const LatencyHistogram *h, uint32_t per_mille) {
  if (h->count == 0) return 0;
  uint64_t rank = (per_mille * h->count + 999) / 1000;
  if (rank < 1) rank = 1;
  uint64_t seen = 0;
  uint32_t index = 0;
  for (; index < LATENCY_BUCKETS - 1; ++index) {
    seen += h->buckets[index];
    if (seen >= rank) break;
  }
  uint64_t value = latency_bucket_midpoint(index);
  if (value < h->min_ns) return h->min_ns;
  if (value > h->max_ns) return h->max_ns;
  return value;
}

double histogram_mean_ns(const LatencyHistogram *h) {
  return h->count == 0 ? 0.0 : (double)h->sum_ns / (double)h->count;
}
