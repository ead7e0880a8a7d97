#include "request.h"

#include <gtest/gtest.h>

namespace {

std::string payload(const std::string &text) {
  std::string bytes(1024, '\0');
  bytes.replace(0, text.size(), text);
  return bytes;
}

TEST(DecodeRequest, ModuleWithArguments) {
  DumpRequest r = decodeRequest(
      5, payload("/cam/tqzel/dump#{\"module\":\"awb\", \"moduleArgs\":[\"a\",\"b\\\"#\"]}#"));
  ASSERT_TRUE(r.valid) << r.error;
  EXPECT_EQ("dump", r.uri);
  EXPECT_TRUE(r.hasModule);
  EXPECT_EQ("awb", r.module);
  EXPECT_EQ((std::vector<std::string>{"a", "b\"#"}), r.moduleArgs);
}

TEST(DecodeRequest, UriArgumentsAndEmptyJson) {
  DumpRequest r = decodeRequest(5, payload("/cam/tqzel/cfg#{\"uriArgs\":[\"x\"]}#"));
  ASSERT_TRUE(r.valid);
  EXPECT_EQ("cfg", r.uri);
  EXPECT_FALSE(r.hasModule);
  EXPECT_EQ(std::vector<std::string>{"x"}, r.uriArgs);

  r = decodeRequest(5, payload("/cam/tqzel/u##"));
  ASSERT_TRUE(r.valid);
  EXPECT_EQ("u", r.uri);
  EXPECT_EQ("", r.json);
}

TEST(DecodeRequest, Refusals) {
  struct {
    unsigned int type;
    std::string text;
    std::string error;
  } cases[] = {
      {6, "/cam/tqzel/dump##", "unsupported message type 6"},
      {5, "/cam/other/dump##", "bad request path"},
      {5, "/cam/tqzel/dump#{\"module\":\"a\"}", "request text not closed by '#'"},
      {5, "/cam/tqzel/dump#", "request text not closed by '#'"},
      {5, "/cam/tqzel/dump#{\"module\":#", "bad request JSON"},
      {5, "/cam/tqzel/dump#[1]#", "bad request JSON"},
      {5, "/cam/tqzel/dump#{\"module\":1}#", "module is not a string"},
      {5, "/cam/tqzel/dump#{\"moduleArgs\":[1]}#", "moduleArgs is not a list of strings"},
      {5, "/cam/tqzel/dump#{\"uriArgs\":\"a\"}#", "uriArgs is not a list of strings"},
  };
  for (const auto &c : cases) {
    DumpRequest r = decodeRequest(c.type, payload(c.text));
    EXPECT_FALSE(r.valid) << c.text;
    EXPECT_EQ(c.error, r.error) << c.text;
  }
}

}  // namespace
