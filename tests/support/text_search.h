// Searching the text a program printed.
#ifndef TESTS_SUPPORT_TEXT_SEARCH_H
#define TESTS_SUPPORT_TEXT_SEARCH_H

#include <stddef.h>

#include <string>

// How often `what` occurs in `text`, overlaps included.
size_t count_occurrences(const std::string &text, const std::string &what);

#endif  // TESTS_SUPPORT_TEXT_SEARCH_H
