#include "string_format.h"

#include <gtest/gtest.h>
#include <wchar.h>

namespace {

TEST(Snprintf, CutsToTheBufferAndReturnsTheWholeLength) {
  char buf[8];
  EXPECT_EQ(11, Snprintf(buf, sizeof(buf), "%s-%d", "abcdef", 1234));
  EXPECT_STREQ("abcdef-", buf);
  EXPECT_EQ(3, Snprintf(buf, sizeof(buf), "%d", 123));
  EXPECT_STREQ("123", buf);
}

// Texts at the edge of the 1024-byte stack buffer: below it, exactly filling it, and above.
TEST(StringAppendF, AppendsTextsAroundTheStackBuffer) {
  for (size_t length : {0u, 1u, 1022u, 1023u, 1024u, 1025u, 5000u}) {
    std::string text(length, 'q');
    std::string dst = "head:";
    StringAppendF(&dst, "%s", text.c_str());
    EXPECT_EQ("head:" + text, dst) << length;
  }
}

TEST(StringAppendF, HeapPathFormatsTheArgumentsAgain) {
  std::string dst;
  StringAppendF(&dst, "%d|%s|%c", 42, std::string(1500, 'x').c_str(), '!');
  EXPECT_EQ("42|" + std::string(1500, 'x') + "|!", dst);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-zero-length"
TEST(StringAppendF, EmptyFormatLeavesTheStringAlone) {
  std::string dst = "keep";
  StringAppendF(&dst, "");
  EXPECT_EQ("keep", dst);
}
#pragma GCC diagnostic pop

TEST(StringAppendF, FormatErrorAppendsNothing) {
  // A wide character that the C locale cannot convert makes vsnprintf fail.
  const wchar_t wide[] = {0x20ac, 0};
  std::string dst = "keep";
  StringAppendF(&dst, "%ls", wide);
  EXPECT_EQ("keep", dst);
  StringAppendF(&dst, "%s%ls", std::string(2000, 'y').c_str(), wide);
  EXPECT_EQ("keep", dst);
}

}  // namespace
