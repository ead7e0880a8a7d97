#include "vantrix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "owned_fd.h"

namespace {

const std::string kSeparator = std::string(79, '-') + "\n";

TEST(Vantrix, HeaderAndFooterLines) {
  Vantrix vantrix;
  Pipe pipe = make_pipe();
  ASSERT_TRUE(pipe.write_end.valid());
  EXPECT_TRUE(vantrix.writeDumpHeader(pipe.write_end.get(), "isp"));
  EXPECT_TRUE(vantrix.writeDumpFooter(pipe.write_end.get(), "isp"));
  pipe.write_end.reset();
  EXPECT_EQ(kSeparator + "DUMP OF SERVICE isp:\n" + kSeparator + "END DUMP OF SERVICE isp:\n",
            readToEnd(pipe.read_end.get()));
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
  EXPECT_EQ(kSeparator + "DUMP OF SERVICE :\n" + kSeparator + "END DUMP OF SERVICE :\n",
            testing::internal::GetCapturedStdout());
}

TEST(Vantrix, GenerateJsonFillsTheRequest) {
  Vantrix vantrix;
  std::vector<std::string> modules = {"awb"}, args = {"a", "b"};
  EXPECT_TRUE(vantrix.generateJson(modules, args));
  EXPECT_EQ("{\"module\":\"awb\", \"moduleArgs\":[\"a\",\"b\"]}", vantrix.request());
}

}  // namespace
