// What the tools share: whole numbers from their command lines, and the files they write whole,
// with the same messages in every tool.
#ifndef TOOLS_COMMON_TOOL_IO_H
#define TOOLS_COMMON_TOOL_IO_H

#include <stddef.h>
#include <stdio.h>

// Parses all of `text` as a decimal number from `min` to `max` into `value`; false for anything
// else (nothing, other characters after it, out of range), when `value` may hold anything.
bool parse_number(const char *text, long min, long max, long *value);

// Opens `path` for writing from scratch; null after "TOOL: cannot open PATH: ERROR" on standard
// error. The caller closes it.
FILE *create_file(const char *tool, const char *path);

// Writes `size` bytes from `data` as the whole file `path`; false after the message of
// create_file, or after "TOOL: cannot write PATH" when writing or closing fails.
bool write_whole_file(const char *tool, const char *path, const void *data, size_t size);

#endif  // TOOLS_COMMON_TOOL_IO_H
