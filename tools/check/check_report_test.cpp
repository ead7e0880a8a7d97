#include "check_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

// The JSON of one check whose detail is each text, byte for byte: the keys in their order, and
// strings that parse (nlohmann refuses text that is not UTF-8) to the text's characters, a byte
// that is not part of well-formed UTF-8 read as Latin-1.
TEST(ResultsJson, KeepsItsKeysInOrderAndReadsStrayBytesAsLatin1) {
  struct Case {
    const char *name;
    std::string text;
    std::string json;
  };
  const Case cases[] = {
      {"plain", "ok /data/x.bin", "\"ok /data/x.bin\""},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"control characters", std::string("\t\n\x1f\x7f", 4), "\"\\t\\n\\u001f\\u007f\""},
      {"NUL", std::string("a\0b", 3), "\"a\\u0000b\""},
      {"UTF-8 of 2, 3 and 4 bytes", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
       "\"\\u00e9\\u20ac\\ud83d\\ude00\""},
      {"a lone continuation byte", "a\x80z", "\"a\\u0080z\""},
      {"a byte never in UTF-8", "\xff", "\"\\u00ff\""},
      {"an overlong form", "\xc0\xaf", "\"\\u00c0\\u00af\""},
      {"a surrogate", "\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},
      {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},
      {"a sequence cut by the end", "\xe2\x82", "\"\\u00e2\\u0082\""},
      {"a sequence cut by ASCII", "\xe2\x82z", "\"\\u00e2\\u0082z\""},
  };
  const Check check = {"c", false, nullptr};
  for (const Case &c : cases) {
    const CheckResult result = {VERDICT_INFO, c.text, "h"};
    const std::string json = results_json(&check, &result, 1);
    EXPECT_EQ(
        "{\"ready\":true,\"checks\":[{\"name\":\"c\",\"required\":false,\"verdict\":\"info\","
        "\"detail\":" +
            c.json + ",\"hint\":\"h\"}]}",
        json)
        << c.name;
    EXPECT_TRUE(nlohmann::json::accept(json)) << c.name;
  }
}

}  // namespace
