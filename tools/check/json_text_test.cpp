#include "json_text.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

// Each text must come out as the exact JSON string, and that must parse (nlohmann refuses text
// that is not UTF-8).
TEST(JsonText, EscapesWhatJsonRequiresAndReadsStrayBytesAsLatin1) {
  struct Case {
    const char *name;
    std::string text;
    std::string json;
  };
  const Case cases[] = {
      {"plain", "ok /data/x.bin", "\"ok /data/x.bin\""},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"control characters", std::string("\t\n\x1f\x7f", 4), "\"\\u0009\\u000a\\u001f\x7f\""},
      {"NUL", std::string("a\0b", 3), "\"a\\u0000b\""},
      {"UTF-8 of 2, 3 and 4 bytes", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
       "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
      {"a lone continuation byte", "a\x80z", "\"a\\u0080z\""},
      {"a byte never in UTF-8", "\xff", "\"\\u00ff\""},
      {"an overlong form", "\xc0\xaf", "\"\\u00c0\\u00af\""},
      {"a surrogate", "\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},
      {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},
      {"a sequence cut by the end", "\xe2\x82", "\"\\u00e2\\u0082\""},
      {"a sequence cut by ASCII", "\xe2\x82z", "\"\\u00e2\\u0082z\""},
  };
  for (const Case &c : cases) {
    std::string json = "[";
    append_json_string(&json, c.text);
    EXPECT_EQ("[" + c.json, json) << c.name;
    json += "]";
    EXPECT_TRUE(nlohmann::json::accept(json)) << c.name;
  }
}

}  // namespace
