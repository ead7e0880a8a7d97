// Strings in JSON text.
#ifndef CAMTOOLS_CHECK_JSON_TEXT_H
#define CAMTOOLS_CHECK_JSON_TEXT_H

#include <string>

// Appends `text` to `out` as a JSON string, quotes included. '"' and '\' are escaped with a
// backslash and the control characters as \u00XX; well-formed UTF-8 is copied, and every byte
// that is not part of it is read as Latin-1 (\u0080 to \u00ff), so the result is always valid.
void append_json_string(std::string *out, const std::string &text);

#endif  // CAMTOOLS_CHECK_JSON_TEXT_H
