// PNG files the tools write, with the messages of tool_io.
#ifndef TOOLS_COMMON_TOOL_PNG_H
#define TOOLS_COMMON_TOOL_PNG_H

#include <stdint.h>

// Writes `width` x `height` pixels of 8-bit RGB, row after row from `rgb`, as the PNG file
// `path`. False after create_file's message, "TOOL: cannot write PATH" when libpng fails, or
// "TOOL: cannot write PATH: ERROR" when closing fails; a regular file not written whole is
// removed.
bool write_rgb_png(const char *tool, const char *path, int width, int height, const uint8_t *rgb);

#endif  // TOOLS_COMMON_TOOL_PNG_H
