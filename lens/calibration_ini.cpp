#include "calibration_ini.h"

#include <errno.h>
#include <ini.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "regular_file.h"

namespace lenswarp {
namespace {

enum Key {
  KEY_LIGHT_CENTER,
  KEY_COEFF,
  KEY_DIRECTION,
  KEY_STYLE,
  KEY_CORRECT_LEVEL,
  KEY_CALIB_WIDTH,
  KEY_CALIB_HEIGHT,
  KEY_CALIB_LEVEL_MAX,
  KEY_COUNT
};

struct KeySpec {
  const char *name;
  int doubles;    // how many numbers a double-valued key holds
  size_t offset;  // where the value goes in FecOnlineConfig
};

const KeySpec kKeys[KEY_COUNT] = {
    {"light_center", 2, offsetof(FecOnlineConfig, light_center)},
    {"coeff", 4, offsetof(FecOnlineConfig, coeff)},
    {"direction", 0, offsetof(FecOnlineConfig, direction)},
    {"style", 0, offsetof(FecOnlineConfig, style)},
    {"correct_level", 0, offsetof(FecOnlineConfig, correct_level)},
    {"calib_width", 0, offsetof(FecOnlineConfig, calib_width)},
    {"calib_height", 0, offsetof(FecOnlineConfig, calib_height)},
    {"calib_level_maxLimit", 0, offsetof(FecOnlineConfig, calib_level_maxLimit)},
};

struct ParseState {
  FecOnlineConfig cfg;
  bool seen[KEY_COUNT];
  bool bad_value;
};

bool parse_doubles(const char *text, int count, double *out) {
  const char *p = text;
  for (int i = 0; i < count; ++i) {
    char *end;
    errno = 0;
    out[i] = strtod(p, &end);
    if (end == p || errno == ERANGE) return false;
    p = end;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return *p == '\0';
}

bool parse_int(const char *text, int32_t *out) {
  char *end;
  errno = 0;
  long v = strtol(text, &end, 10);
  if (end == text || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return false;
  *out = (int32_t)v;
  return true;
}

int on_entry(void *user, const char *section, const char *name, const char *value) {
  ParseState *st = static_cast<ParseState *>(user);
  if (strcmp(section, kCalibrationSection) != 0) return 1;
  for (int k = 0; k < KEY_COUNT; ++k) {
    if (strcmp(name, kKeys[k].name) != 0) continue;
    char *field = reinterpret_cast<char *>(&st->cfg) + kKeys[k].offset;
    bool ok = kKeys[k].doubles > 0
                  ? parse_doubles(value, kKeys[k].doubles, reinterpret_cast<double *>(field))
                  : parse_int(value, reinterpret_cast<int32_t *>(field));
    if (!ok) st->bad_value = true;
    st->seen[k] = true;
    return ok ? 1 : 0;
  }
  return 1;  // unknown keys are left for other tools
}

// What the parser reads through: the file, a line buffer of its own, and the first line that was
// too long for the parser, if any.
struct LineReader {
  FILE *file;
  char *line;
  size_t capacity;
  int number;    // lines read so far
  int too_long;  // the first line refused, or 0
  int longest;   // characters (without the line end) the parser takes in a line
};

// The parser's reader (fgets's contract): one whole line into `buffer` of `size` bytes. A line
// that would not fit with its "\r\n" and terminator stops the parse, as the end of the file
// would, rather than reach the parser cut in two: the parser would take the tail for a line of
// its own.
char *read_whole_line(char *buffer, int size, void *stream) {
  LineReader *r = static_cast<LineReader *>(stream);
  ssize_t n = getline(&r->line, &r->capacity, r->file);
  if (n < 0) return nullptr;
  ++r->number;
  size_t text = (size_t)n;
  if (text > 0 && r->line[text - 1] == '\n') --text;
  if (text > 0 && r->line[text - 1] == '\r') --text;
  r->longest = size - 3;
  if (text + 3 > (size_t)size) {
    r->too_long = r->number;
    return nullptr;
  }
  memcpy(buffer, r->line, (size_t)n + 1);
  return buffer;
}

}  // namespace

int load_calibration_ini(const char *path, FecOnlineConfig *cfg) {
  if (path == nullptr || cfg == nullptr) return EINVAL;
  int fd;
  off_t size;
  int err = open_regular_file(path, &fd, &size);
  if (err != 0) return err;
  FILE *f = fdopen(fd, "r");
  if (f == nullptr) {
    err = errno;
    close(fd);
    return err;
  }
  ParseState st;
  memset(&st, 0, sizeof(st));
  LineReader reader = {f, nullptr, 0, 0, 0, 0};
  int line = ini_parse_stream(read_whole_line, &reader, on_entry, &st);
  free(reader.line);
  fclose(f);
  if (reader.too_long != 0) {
    // errno alone cannot say which line, and a refused INI is hard to mend without it.
    fprintf(stderr, "lenswarp: %s line %d is longer than %d characters\n", path, reader.too_long,
            reader.longest);
    return EINVAL;
  }
  if (line != 0 || st.bad_value) return EINVAL;
  for (bool seen : st.seen) {
    if (!seen) return EINVAL;
  }
  *cfg = st.cfg;
  return 0;
}

}  // namespace lenswarp
