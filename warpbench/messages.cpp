#include "messages.h"

#include <stdarg.h>

#include "options.h"

void say(FILE *stream, const char *fmt, ...) {
  if (silent()) return;
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stream, fmt, ap);
  va_end(ap);
}
