#include "vantrix.h"

#include <gtest/gtest.h>

#include <string>

#include "dump_frame.h"

namespace {

TEST(Vantrix, WriteErrorsOfHeaderAndFooterAreIgnored) {
  Vantrix vantrix;
  EXPECT_TRUE(vantrix.writeDumpHeader(-1, "isp"));
  EXPECT_TRUE(vantrix.writeDumpFooter(-1, "isp"));
}

TEST(Vantrix, NothingHeldWritesNothingAndTheFrameUsesAnEmptyName) {
  Vantrix vantrix;
  EXPECT_TRUE(vantrix.writeDump(-1, "x"));
  testing::internal::CaptureStdout();
  EXPECT_TRUE(vantrix.writeDumpToStd());
  EXPECT_EQ(dumpFrame("", ""), testing::internal::GetCapturedStdout());
}

}  // namespace
