// Text of unknown bytes (a path, a library's message) as the characters it holds.
#ifndef CAMTOOLS_CHECK_UTF8_TEXT_H
#define CAMTOOLS_CHECK_UTF8_TEXT_H

#include <string>

// `text` as well-formed UTF-8: its well-formed sequences as they are, and every other byte read
// as Latin-1 (0x80 to 0xFF as U+0080 to U+00FF), so that no byte is lost or replaced.
std::string well_formed_utf8(const std::string &text);

#endif  // CAMTOOLS_CHECK_UTF8_TEXT_H
