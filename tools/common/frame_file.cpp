#include "frame_file.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <limits>
#include <string>

#include "tool_io.h"

namespace {

FrameRead read_open_frame(FILE *f, const char *tool, const char *path, long frame,
                          size_t frame_bytes, std::unique_ptr<uint8_t[]> *bytes) {
  uint64_t start, end;
  struct stat st;
  const bool addressable =
      !__builtin_mul_overflow((uint64_t)frame, (uint64_t)frame_bytes, &start) &&
      !__builtin_add_overflow(start, (uint64_t)frame_bytes, &end) &&
      end <= (uint64_t)std::numeric_limits<off_t>::max();
  if (!addressable ||
      (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && (uint64_t)st.st_size < end)) {
    return {FRAME_MISSING, 0};
  }
  if (fseeko(f, (off_t)start, SEEK_SET) != 0) return {FRAME_CANNOT_SEEK, errno};
  *bytes = allocate_bytes(tool, frame_bytes, "frame " + std::to_string(frame) + " of " + path);
  if (!*bytes) return {FRAME_NO_ROOM, 0};
  size_t got = fread(bytes->get(), 1, frame_bytes, f);
  int err = errno;
  if (got == frame_bytes) return {FRAME_READ, 0};
  bytes->reset();
  return ferror(f) ? FrameRead{FRAME_CANNOT_READ, err} : FrameRead{FRAME_MISSING, 0};
}

}  // namespace

FrameRead read_frame(const char *tool, const char *path, long frame, size_t frame_bytes,
                     std::unique_ptr<uint8_t[]> *bytes) {
  FILE *f = fopen(path, "rb");
  if (f == nullptr) return {FRAME_CANNOT_OPEN, errno};
  const FrameRead read = read_open_frame(f, tool, path, frame, frame_bytes, bytes);
  fclose(f);
  return read;
}

void say_frame_read_failure(const char *tool, const char *path, long frame, size_t frame_bytes,
                            const FrameRead &read) {
  switch (read.result) {
    case FRAME_CANNOT_OPEN:
      fprintf(stderr, "%s: cannot open %s: %s\n", tool, path, strerror(read.error));
      break;
    case FRAME_MISSING:
      fprintf(stderr, "%s: %s has no frame %ld of %zu bytes\n", tool, path, frame, frame_bytes);
      break;
    case FRAME_CANNOT_SEEK:
      fprintf(stderr, "%s: cannot seek to frame %ld of %s: %s\n", tool, frame, path,
              strerror(read.error));
      break;
    case FRAME_CANNOT_READ:
      fprintf(stderr, "%s: cannot read %s: %s\n", tool, path, strerror(read.error));
      break;
    case FRAME_READ:
    case FRAME_NO_ROOM:
      break;
  }
}
