// Formatted text for what the tools print and report, kept apart from the programs' own helpers.
#ifndef TOOLS_COMMON_TOOL_TEXT_H
#define TOOLS_COMMON_TOOL_TEXT_H

#include <string>

// The text that printf would print for `format` and its arguments; empty after a format error.
std::string string_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));

#endif  // TOOLS_COMMON_TOOL_TEXT_H
