#include "string_format.h"

#include <stdio.h>

#include <memory>

int Snprintf(char *buf, unsigned int size, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int result = vsnprintf(buf, size, format, ap);
  va_end(ap);
  return result;
}

void StringAppendV(std::string *dst, const char *format, va_list ap) {
  char space[1024];
  va_list backup;
  va_copy(backup, ap);
  int result = vsnprintf(space, sizeof(space), format, backup);
  va_end(backup);
  if (result < (int)sizeof(space)) {
    if (result >= 0) dst->append(space, (size_t)result);
    return;
  }
  // One retry with the exact size; the arguments cannot change between the two passes.
  int length = result + 1;
  std::unique_ptr<char[]> buf(new char[(size_t)length]);
  va_copy(backup, ap);
  result = vsnprintf(buf.get(), (size_t)length, format, backup);
  va_end(backup);
  if (result >= 0 && result < length) dst->append(buf.get(), (size_t)result);
}

std::string StringPrintf(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  std::string result;
  StringAppendV(&result, format, ap);
  va_end(ap);
  return result;
}

void StringAppendF(std::string *dst, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  StringAppendV(dst, format, ap);
  va_end(ap);
}
