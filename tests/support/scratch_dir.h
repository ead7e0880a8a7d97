// Scratch folders for tests: a fresh directory under /tmp that goes away with its owner, and the
// files written into it.
#ifndef TESTS_SUPPORT_SCRATCH_DIR_H
#define TESTS_SUPPORT_SCRATCH_DIR_H

#include <string>

class ScratchDir {
 public:
  ScratchDir();   // throws std::runtime_error when no directory can be made
  ~ScratchDir();  // removes the directory and everything in it
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  const std::string &path() const { return mPath; }
  std::string file(const std::string &name) const { return mPath + "/" + name; }
  // Writes `bytes` to the file `name` (relative to the directory) and returns its full path.
  std::string write(const std::string &name, const std::string &bytes) const;
  // The file's bytes; "" when it cannot be read.
  std::string read(const std::string &name) const;
  // Makes the directory `name` and any missing parents; returns its full path.
  std::string make_dir(const std::string &name) const;

 private:
  std::string mPath;
};

#endif  // TESTS_SUPPORT_SCRATCH_DIR_H
