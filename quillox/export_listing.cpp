#include "export_listing.h"

#include <string.h>

#include <vector>

namespace {

// The words of the entry that starts at `at`, with the quoting undone; `at` moves past the
// newline that ends it. Newlines inside quotes belong to the word.
std::vector<std::string> entryWords(const std::string &text, size_t &at) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  while (at < text.size()) {
    char c = text[at++];
    if (c == '\n' || c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
      if (c == '\n') break;
      continue;
    }
    inWord = true;
    if (c == '\'') {
      while (at < text.size() && text[at] != '\'') word += text[at++];
      ++at;
    } else if (c == '"') {
      while (at < text.size() && text[at] != '"') {
        if (text[at] == '\\' && at + 1 < text.size() && strchr("\"\\$`", text[at + 1]) != nullptr) {
          ++at;
        }
        word += text[at++];
      }
      ++at;
    } else if (c == '\\' && at < text.size()) {
      word += text[at++];
    } else {
      word += c;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

}  // namespace

bool exportedValue(const std::string &listing, const std::string &name, std::string *value) {
  const std::string prefix = name + "=";
  size_t at = 0;
  while (at < listing.size()) {
    std::vector<std::string> words = entryWords(listing, at);
    size_t first = 0;
    // "export NAME=..." or "declare -x NAME=..."; the options of declare start with '-'.
    if (first < words.size() && (words[first] == "export" || words[first] == "declare")) ++first;
    while (first < words.size() && words[first].compare(0, 1, "-") == 0) ++first;
    for (size_t i = first; i < words.size(); ++i) {
      if (words[i].compare(0, prefix.size(), prefix) == 0) {
        *value = words[i].substr(prefix.size());
        return true;
      }
    }
  }
  return false;
}
