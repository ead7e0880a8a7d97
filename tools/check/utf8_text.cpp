#include "utf8_text.h"

#include <stddef.h>

namespace {

// The lead bytes of well-formed UTF-8 sequences of two bytes and more, with the range the second
// byte must lie in (narrower where a wider one would allow overlong forms, surrogates or code
// points above U+10FFFF); every later byte lies in 0x80..0xBF.
struct Utf8Lead {
  unsigned char first, last;
  size_t length;
  unsigned char second_min, second_max;
};

const Utf8Lead utf8_leads[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

// The length of the well-formed multi-byte sequence at `s` (of `n` bytes), or 0.
size_t utf8_sequence_length(const unsigned char *s, size_t n) {
  for (const Utf8Lead &lead : utf8_leads) {
    if (s[0] < lead.first || s[0] > lead.last) continue;
    if (n < lead.length || s[1] < lead.second_min || s[1] > lead.second_max) return 0;
    for (size_t i = 2; i < lead.length; ++i) {
      if (s[i] < 0x80 || s[i] > 0xBF) return 0;
    }
    return lead.length;
  }
  return 0;
}

}  // namespace

std::string well_formed_utf8(const std::string &text) {
  const unsigned char *s = reinterpret_cast<const unsigned char *>(text.data());
  const size_t n = text.size();
  std::string utf8;
  for (size_t i = 0; i < n;) {
    if (s[i] < 0x80) {
      utf8 += (char)s[i++];
    } else if (size_t length = utf8_sequence_length(s + i, n - i)) {
      utf8.append(text, i, length);
      i += length;
    } else {
      // The two bytes of U+0080 to U+00FF.
      utf8 += (char)(0xC0 | s[i] >> 6);
      utf8 += (char)(0x80 | (s[i++] & 0x3F));
    }
  }
  return utf8;
}
