#include "tool_io.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

bool parse_number(const char *text, long min, long max, long *value) {
  char *end;
  errno = 0;
  *value = strtol(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && *value >= min && *value <= max;
}

FILE *create_file(const char *tool, const char *path) {
  FILE *f = fopen(path, "wb");
  if (f == nullptr) {
    int err = errno;
    fprintf(stderr, "%s: cannot open %s: %s\n", tool, path, strerror(err));
  }
  return f;
}

bool write_whole_file(const char *tool, const char *path, const void *data, size_t size) {
  FILE *f = create_file(tool, path);
  if (f == nullptr) return false;
  size_t n = fwrite(data, 1, size, f);
  if (fclose(f) != 0 || n != size) {
    fprintf(stderr, "%s: cannot write %s\n", tool, path);
    return false;
  }
  return true;
}
