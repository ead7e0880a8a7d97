#include "staged_install.h"

#include <stdlib.h>

#include <stdexcept>

std::string stage_dir() {
  const char *dir = getenv("STAGE_DIR");
  if (dir == nullptr) throw std::runtime_error("STAGE_DIR is not set; run the tests with ctest");
  return dir;
}

std::string staged_program(const std::string &name) {
  return stage_dir() + "/bin/" + name;
}
