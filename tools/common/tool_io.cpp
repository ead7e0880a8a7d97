#include "tool_io.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

bool parse_number(const char *text, long min, long max, long *value) {
  char *end;
  errno = 0;
  *value = strtol(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && *value >= min && *value <= max;
}

bool parse_picture_size(const char *width_text, const char *height_text, long max, long *width,
                        long *height) {
  return parse_number(width_text, 2, max, width) && parse_number(height_text, 2, max, height) &&
         *width % 2 == 0 && *height % 2 == 0;
}

std::unique_ptr<uint8_t[]> allocate_bytes(const char *tool, size_t size, const std::string &what) {
  // Pictures are the tools' large allocations: short of memory, they say so rather than end in
  // std::terminate.
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size]);
  if (!bytes) fprintf(stderr, "%s: cannot allocate %zu bytes for %s\n", tool, size, what.c_str());
  return bytes;
}

FILE *create_file(const char *tool, const char *path, CreatedFile *created) {
  FILE *f = fopen(path, "wb");
  if (f == nullptr) {
    int err = errno;
    fprintf(stderr, "%s: cannot open %s: %s\n", tool, path, strerror(err));
    return nullptr;
  }
  struct stat st;
  if (created != nullptr && fstat(fileno(f), &st) == 0) {
    created->regular = S_ISREG(st.st_mode);
    created->device = st.st_dev;
    created->inode = st.st_ino;
  }
  return f;
}

void remove_partial_file(const char *path, const CreatedFile &created) {
  struct stat st;
  // Only the file this tool wrote, and only where the path itself names it.
  if (created.regular && lstat(path, &st) == 0 && S_ISREG(st.st_mode) &&
      st.st_dev == created.device && st.st_ino == created.inode) {
    unlink(path);
  }
}

bool write_whole_file(const char *tool, const char *path, const void *data, size_t size) {
  CreatedFile created;
  FILE *f = create_file(tool, path, &created);
  if (f == nullptr) return false;
  size_t n = fwrite(data, 1, size, f);
  if (fclose(f) != 0 || n != size) {
    fprintf(stderr, "%s: cannot write %s\n", tool, path);
    remove_partial_file(path, created);
    return false;
  }
  return true;
}
