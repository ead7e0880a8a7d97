#include "vantrix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump_frame.h"
#include "owned_fd.h"

namespace {

TEST(Vantrix, HeaderAndFooterLines) {
  Vantrix vantrix;
  Pipe pipe = make_pipe();
  ASSERT_TRUE(pipe.write_end.valid());
  EXPECT_TRUE(vantrix.writeDumpHeader(pipe.write_end.get(), "isp"));
  EXPECT_TRUE(vantrix.writeDumpFooter(pipe.write_end.get(), "isp"));
  pipe.write_end.reset();
  EXPECT_EQ(dumpFrame("isp", ""), readToEnd(pipe.read_end.get()));
}

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

TEST(Vantrix, GenerateJsonFillsTheRequest) {
  Vantrix vantrix;
  std::vector<std::string> modules = {"awb"}, args = {"a", "b"};
  EXPECT_TRUE(vantrix.generateJson(modules, args));
  EXPECT_EQ("{\"module\":\"awb\", \"moduleArgs\":[\"a\",\"b\"]}", vantrix.request());
}

}  // namespace
