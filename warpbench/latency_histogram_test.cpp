#include "latency_histogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<LatencyHistogram> histogram_of(const std::vector<uint64_t> &values) {
  auto h = std::make_unique<LatencyHistogram>();
  for (uint64_t v : values) histogram_record(h.get(), v);
  return h;
}

// Every value's bucket midpoint is within 1/128 of it, across the whole covered range, and the
// buckets follow each other without gap or overlap.
TEST(LatencyHistogram, BucketMidpointsStayWithinTheStatedError) {
  uint32_t previous = 0;
  for (uint64_t v = 0; v < ((uint64_t)1 << (LATENCY_TOP_BIT + 1)); v += 1 + v / 300) {
    uint32_t b = latency_bucket(v);
    ASSERT_LT(b, (uint32_t)LATENCY_BUCKETS) << v;
    ASSERT_TRUE(b == previous || b == previous + 1) << v;
    previous = b;
    uint64_t mid = latency_bucket_midpoint(b);
    uint64_t error = mid > v ? mid - v : v - mid;
    ASSERT_LE(error * 128, v) << v;
  }
  EXPECT_EQ((uint32_t)LATENCY_BUCKETS - 1, previous);
  EXPECT_EQ((uint32_t)LATENCY_BUCKETS - 1, latency_bucket(UINT64_MAX)) << "clamped, not wrapped";
}

TEST(LatencyHistogram, BucketEdges) {
  const struct {
    uint64_t value;
    uint32_t bucket;
  } cases[] = {{0, 0},     {127, 127}, {128, 128}, {129, 128}, {130, 129},
               {255, 191}, {256, 192}, {259, 192}, {260, 193}};
  for (const auto &c : cases) EXPECT_EQ(c.bucket, latency_bucket(c.value)) << c.value;
}

TEST(LatencyHistogram, PercentilesByNearestRankWithExactMinMaxMean) {
  std::vector<uint64_t> values;
  for (uint64_t v = 1; v <= 1000; ++v) values.push_back(v * 1000);  // 1 µs .. 1 ms
  std::reverse(values.begin(), values.end());
  auto h = histogram_of(values);
  EXPECT_EQ(1000u, h->count);
  EXPECT_EQ(1000u, h->min_ns);
  EXPECT_EQ(1000000u, h->max_ns);
  EXPECT_DOUBLE_EQ(500500.0, histogram_mean_ns(h.get()));
  const struct {
    uint32_t per_mille;
    uint64_t exact;
  } cases[] = {{1, 1000},     {500, 500000}, {900, 900000},
               {990, 990000}, {999, 999000}, {1000, 1000000}};
  for (const auto &c : cases) {
    uint64_t p = histogram_percentile(h.get(), c.per_mille);
    uint64_t error = p > c.exact ? p - c.exact : c.exact - p;
    EXPECT_LE(error * 128, c.exact) << c.per_mille << " gave " << p;
  }
  // The rank is exact in whole per-mille: with ten values p90 is the ninth, not the tenth.
  h = histogram_of({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  EXPECT_EQ(9u, histogram_percentile(h.get(), 900));
  EXPECT_EQ(10u, histogram_percentile(h.get(), 999));
}

TEST(LatencyHistogram, PercentilesStayWithinMinAndMax) {
  // A single value far into a wide bucket: the midpoint would lie beyond it.
  const uint64_t values[] = {1000003, (uint64_t)1 << 40};
  for (uint64_t v : values) {
    auto h = histogram_of({v});
    for (uint32_t q : {1u, 500u, 999u, 1000u}) EXPECT_EQ(v, histogram_percentile(h.get(), q));
  }
  auto empty = histogram_of({});
  EXPECT_EQ(0u, histogram_percentile(empty.get(), 500));
  EXPECT_EQ(0.0, histogram_mean_ns(empty.get()));
}

}  // namespace
