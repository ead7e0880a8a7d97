#include "messages.h"

#include <stdarg.h>

#include "run_state.h"

bool silent() {
  return run_settings.seen_options[OPT_SILENT] != 0;
}

void say(FILE *stream, const char *fmt, ...) {
  if (silent()) return;
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stream, fmt, ap);
  va_end(ap);
}
