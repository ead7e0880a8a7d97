// Frames read from a file of raw frames one after the other, as warpbench --stream-to writes
// them, with the messages the tools share.
#ifndef TOOLS_COMMON_FRAME_FILE_H
#define TOOLS_COMMON_FRAME_FILE_H

#include <stddef.h>
#include <stdint.h>

#include <memory>

enum FrameReadResult {
  FRAME_READ,
  FRAME_CANNOT_OPEN,  // error: why the file does not open
  FRAME_MISSING,      // no file offset reaches it, or the file ends before it does
  FRAME_CANNOT_SEEK,  // error: why the seek to it failed
  FRAME_NO_ROOM,      // the room for it could not be allocated
  FRAME_CANNOT_READ,  // error: why the read failed
};

struct FrameRead {
  FrameReadResult result;
  int error;  // errno, for the results that say so
};

// Reads frame `frame` (from 0) of `path`, frames being `frame_bytes` long, into new room in
// `*bytes`, seeking past the frames before it. A frame that no file offset reaches, or that lies
// beyond a regular file's end, is missing before any room is made for it. Room that cannot be
// made is said on standard error as allocate_bytes says it for `tool`; nothing else is said.
FrameRead read_frame(const char *tool, const char *path, long frame, size_t frame_bytes,
                     std::unique_ptr<uint8_t[]> *bytes);

// Says on standard error why `read` failed: "TOOL: cannot open PATH: ERROR", "TOOL: PATH has no
// frame K of N bytes", "TOOL: cannot seek to frame K of PATH: ERROR" or "TOOL: cannot read PATH:
// ERROR"; nothing for FRAME_NO_ROOM, which read_frame said.
void say_frame_read_failure(const char *tool, const char *path, long frame, size_t frame_bytes,
                            const FrameRead &read);

#endif  // TOOLS_COMMON_FRAME_FILE_H
