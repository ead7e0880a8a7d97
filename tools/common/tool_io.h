// What the tools share: whole numbers from their command lines, room for their pictures, and the
// files they write whole, with the same messages in every tool.
#ifndef TOOLS_COMMON_TOOL_IO_H
#define TOOLS_COMMON_TOOL_IO_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/types.h>

#include <memory>
#include <string>

// Parses all of `text` as a decimal number from `min` to `max` into `value`; false for anything
// else (nothing, other characters after it, out of range), when `value` may hold anything.
bool parse_number(const char *text, long min, long max, long *value);

// Parses an NV12 picture's WIDTH and HEIGHT: whole numbers from 2 to `max`, both even (the
// chroma plane halves them); false for anything else.
bool parse_picture_size(const char *width_text, const char *height_text, long max, long *width,
                        long *height);

// `size` bytes of room, not cleared; null after "TOOL: cannot allocate SIZE bytes for WHAT" on
// standard error. A failed allocation neither throws nor aborts.
std::unique_ptr<uint8_t[]> allocate_bytes(const char *tool, size_t size, const std::string &what);

// What create_file opened, so that a failed write can take it away again.
struct CreatedFile {
  bool regular = false;
  dev_t device = 0;
  ino_t inode = 0;
};

// Opens `path` for writing from scratch and, when `created` is not null, says there what it
// opened; null after "TOOL: cannot open PATH: ERROR" on standard error. The caller closes it.
FILE *create_file(const char *tool, const char *path, CreatedFile *created = nullptr);

// Removes `path` when it still names the regular file `created` describes, so that a write that
// failed leaves no partial file; a device, a FIFO or a symbolic link to a file stays.
void remove_partial_file(const char *path, const CreatedFile &created);

// Writes `size` bytes from `data` as the whole file `path`; false after the message of
// create_file, or after "TOOL: cannot write PATH" when writing or closing fails (a regular file
// then removed).
bool write_whole_file(const char *tool, const char *path, const void *data, size_t size);

#endif  // TOOLS_COMMON_TOOL_IO_H
