#include "golden_text.h"

#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

const std::string &golden_text(const std::string &name) {
  static std::map<std::string, std::string> texts;
  auto it = texts.find(name);
  if (it != texts.end()) return it->second;
  std::ifstream file(std::string(GOLDEN_DIR) + "/" + name, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read the golden text " + name);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return texts.emplace(name, text).first->second;
}
