#include "request_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using Words = std::vector<std::string>;

TEST(RequestJson, TheRequestOfEachCommandLine) {
  struct {
    Words modules;
    Words args;
    bool moduleMode;
    std::string json;
  } cases[] = {
      {{"all"}, {}, true, "{\"module\":\"all\"}"},
      {{"mod"}, {}, true, "{\"module\":\"mod\"}"},
      {{"mod"}, {"a"}, true, "{\"module\":\"mod\", \"moduleArgs\":[\"a\"]}"},
      {{"mod"}, {"a", "b"}, true, "{\"module\":\"mod\", \"moduleArgs\":[\"a\",\"b\"]}"},
      {{"mod"}, {"--freq"}, true, "{\"module\":\"mod\", \"moduleArgs\":[\"--freq\"]}"},
      {{}, {"a", "b"}, false, "{\"uriArgs\":[\"a\",\"b\"]}"},
      {{}, {""}, false, "{\"uriArgs\":[\"\"]}"},
      {{}, {}, false, ""},
      {{}, {}, true, ""},
  };
  for (const auto &c : cases) {
    std::string out;
    appendRequestJson(&out, c.modules, c.args, c.moduleMode);
    EXPECT_EQ(c.json, out);
  }
}

TEST(RequestJson, QuotesBackslashesControlCharactersAndHashesAreEscaped) {
  struct {
    std::string text;
    std::string escaped;
  } cases[] = {
      {"plain text, {} [] : / 'q' \x7f", "plain text, {} [] : / 'q' \x7f"},
      {"caf\xc3\xa9", "caf\xc3\xa9"},
      {"a\"b", "a\\\"b"},
      {"C:\\dir\\", "C:\\\\dir\\\\"},
      {"line\nnext\ttab\r", "line\\u000anext\\u0009tab\\u000d"},
      {std::string("\x01\x1f\x20", 3), "\\u0001\\u001f "},
      {"#a#", "\\u0023a\\u0023"},
  };
  for (const auto &c : cases) {
    std::string out;
    appendJsonEscaped(&out, c.text);
    EXPECT_EQ(c.escaped, out);
  }
}

// Every ASCII character survives the way through JSON unchanged.
TEST(RequestJson, EveryAsciiCharacterRoundTrips) {
  Words args;
  for (int c = 1; c < 128; ++c) args.push_back(std::string(1, (char)c) + "x");
  std::string out;
  appendRequestJson(&out, {}, args, false);
  EXPECT_EQ(args, nlohmann::json::parse(out)["uriArgs"].get<Words>());
}

}  // namespace
