#include "scratch_dir.h"

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

int remove_entry(const char *path, const struct stat *, int, struct FTW *) {
  return remove(path);
}

}  // namespace

ScratchDir::ScratchDir() {
  char tmpl[] = "/tmp/scratch.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp failed");
  mPath = tmpl;
}

ScratchDir::~ScratchDir() {
  // Depth first, without following links out of the directory.
  if (nftw(mPath.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS) != 0) {
    fprintf(stderr, "could not remove %s\n", mPath.c_str());
  }
}

std::string ScratchDir::write(const std::string &name, const std::string &bytes) const {
  std::ofstream f(file(name), std::ios::binary);
  f.write(bytes.data(), (std::streamsize)bytes.size());
  return file(name);
}

std::string ScratchDir::read(const std::string &name) const {
  std::ifstream f(file(name), std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string ScratchDir::make_dir(const std::string &name) const {
  for (size_t slash = name.find('/', 1); slash != std::string::npos;
       slash = name.find('/', slash + 1)) {
    mkdir(file(name.substr(0, slash)).c_str(), 0755);
  }
  mkdir(file(name).c_str(), 0755);
  return file(name);
}
