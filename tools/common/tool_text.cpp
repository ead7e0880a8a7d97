#include "tool_text.h"

#include <stdarg.h>
#include <stdio.h>

std::string string_printf(const char *format, ...) {
  va_list ap, again;
  va_start(ap, format);
  va_copy(again, ap);
  // The length first, then the text into room of that length and its terminator.
  const int length = vsnprintf(nullptr, 0, format, ap);
  std::string text(length > 0 ? (size_t)length : 0, '\0');
  if (length > 0) vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  va_end(ap);
  return text;
}
