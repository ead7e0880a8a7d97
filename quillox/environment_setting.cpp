#include "environment_setting.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

unsigned long environmentNumber(const char *name, unsigned long min, unsigned long max,
                                unsigned long fallback) {
  const char *text = getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char *end = nullptr;
  errno = 0;
  unsigned long value = strtoul(text, &end, 10);
  // strtoul takes a sign and leading blanks; a setting is digits only.
  if (isdigit((unsigned char)text[0]) && *end == '\0' && errno == 0 && value >= min &&
      value <= max) {
    return value;
  }
  fprintf(stderr, "quillox: %s=\"%s\" is not a whole number from %lu to %lu; %lu is used\n", name,
          text, min, max, fallback);
  return fallback;
}
