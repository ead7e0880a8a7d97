#include "frame_pacing.h"

#include <gtest/gtest.h>
#include <stdio.h>

namespace {

TEST(AdvanceDeadline, CarriesWholeSeconds) {
  struct timespec t = {10, 999999999};
  advance_deadline(&t, 1);
  EXPECT_EQ(11, t.tv_sec);
  EXPECT_EQ(0, t.tv_nsec);

  t = {5, 900000000};
  advance_deadline(&t, 1000000000);  // fps 1
  EXPECT_EQ(6, t.tv_sec);
  EXPECT_EQ(900000000, t.tv_nsec);

  t = {0, 0};
  for (int i = 0; i < 30; ++i) advance_deadline(&t, 33333333);
  EXPECT_EQ(0, t.tv_sec);
  EXPECT_EQ(999999990, t.tv_nsec);  // the truncated period drifts by 10 ns a second, as given
}

TEST(AdvanceDeadline, NegativePeriodKeepsNanosecondsInRange) {
  struct timespec t = {3, 100};
  advance_deadline(&t, -1000000000);
  EXPECT_EQ(2, t.tv_sec);
  EXPECT_EQ(100, t.tv_nsec);
  advance_deadline(&t, -200);
  EXPECT_EQ(1, t.tv_sec);
  EXPECT_EQ(999999900, t.tv_nsec);
}

TEST(RateLine, IsDueEveryFpsFramesAndNeverWithoutPacing) {
  EXPECT_TRUE(rate_line_due(30, 30));
  EXPECT_FALSE(rate_line_due(31, 30));
  EXPECT_TRUE(rate_line_due(60, 30));
  EXPECT_TRUE(rate_line_due(1, 1));
  EXPECT_TRUE(rate_line_due(2, 1));
  EXPECT_FALSE(rate_line_due(0, 0));
  EXPECT_FALSE(rate_line_due(5, -5));
  EXPECT_TRUE(rate_line_due(0xFFFFFFFFu, 5));  // unsigned remainder at the wrap
}

TEST(RateLine, FiguresUseSinglePrecisionSeconds) {
  struct timeval then = {100, 900000};
  struct timeval now = {101, 900000};
  EXPECT_FLOAT_EQ(1.0f, elapsed_seconds(&now, &then));
  now = {102, 100000};
  EXPECT_FLOAT_EQ(1.2f, elapsed_seconds(&now, &then));  // the microseconds difference is negative
  EXPECT_EQ((double)30.0f / (double)1.2f, current_fps(30, 1.2f));
  EXPECT_EQ((double)(float)16777217u / (double)3.0f, average_fps(16777217u, 3.0f));

  char line[128];
  snprintf(line, sizeof(line), "%s Current fps: %.2f, Total avg fps: %.2f\n", "warpbench",
           current_fps(30, elapsed_seconds(&now, &then)), average_fps(60, 2.0f));
  EXPECT_STREQ("warpbench Current fps: 25.00, Total avg fps: 30.00\n", line);
}

}  // namespace
