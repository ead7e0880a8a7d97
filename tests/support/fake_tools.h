// The far side of quillox's shell commands and library search: fake `cat`, `free` and `strings`
// to put before the real ones on PATH, and fake libtqzel.so files.
#ifndef TESTS_SUPPORT_FAKE_TOOLS_H
#define TESTS_SUPPORT_FAKE_TOOLS_H

#include <string>
#include <vector>

#include "scratch_dir.h"

// The fake cat reads kernel paths from a fake root inside the tools' directory, so no real kernel
// file is read.
class FakeTools {
 public:
  FakeTools();
  // Content of the fake kernel file at the absolute `path`.
  void kernelFile(const std::string &path, const std::string &content) const;
  // Makes `free` print `text`.
  void freeOutput(const std::string &text) const;
  // Makes `strings` print `text` and log each call's arguments, one line per call, each
  // argument in brackets.
  void stringsOutput(const std::string &text) const;
  std::string stringsCalls() const { return mDir.read("strings.calls"); }
  // The search path with the fakes first.
  std::string searchPath() const;
  const ScratchDir &dir() const { return mDir; }

 private:
  void script(const std::string &name, const std::string &body) const;
  ScratchDir mDir;
};

// The bytes of a fake libtqzel.so: each of `texts` between bytes that are not text, as the
// version texts sit in the real binary.
std::string fakeTqzelLibrary(const std::vector<std::string> &texts);

#endif  // TESTS_SUPPORT_FAKE_TOOLS_H
