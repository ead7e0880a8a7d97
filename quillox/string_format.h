// printf-style formatting into a fixed buffer or onto the end of a std::string. Output strings
// are only ever appended to.
#ifndef QUILLOX_STRING_FORMAT_H
#define QUILLOX_STRING_FORMAT_H

#include <stdarg.h>

#include <string>

// vsnprintf into `buf`: at most size - 1 characters and a terminator. Returns the length the
// whole text would have had (negative on a format error).
int Snprintf(char *buf, unsigned int size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// A new string holding the formatted text.
std::string StringPrintf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Appends the formatted text to `dst`; a format error appends nothing.
void StringAppendF(std::string *dst, const char *format, ...) __attribute__((format(printf, 2, 3)));

// As StringAppendF with an argument list. Texts under 1024 characters need no heap allocation.
void StringAppendV(std::string *dst, const char *format, va_list ap)
    __attribute__((format(printf, 2, 0)));

#endif  // QUILLOX_STRING_FORMAT_H
