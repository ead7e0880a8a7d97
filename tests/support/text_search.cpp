#include "text_search.h"

size_t count_occurrences(const std::string &text, const std::string &what) {
  size_t found = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++found;
  return found;
}
