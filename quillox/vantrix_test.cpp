#include "vantrix.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "quillox_support.h"

namespace {

const std::string kSeparator = std::string(79, '-') + "\n";

TEST(Vantrix, HeaderAndFooterLines) {
  Vantrix vantrix;
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  EXPECT_TRUE(vantrix.writeDumpHeader(fds[1], "isp"));
  EXPECT_TRUE(vantrix.writeDumpFooter(fds[1], "isp"));
  close(fds[1]);
  EXPECT_EQ(kSeparator + "DUMP OF SERVICE isp:\n" + kSeparator + "END DUMP OF SERVICE isp:\n",
            readToEnd(fds[0]));
  close(fds[0]);
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
