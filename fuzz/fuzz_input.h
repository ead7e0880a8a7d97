// What the fuzz targets share: the fuzzer's bytes as a C string, an argument vector or a file.
// Every piece gets an allocation of its own and of its exact size, so that AddressSanitizer sees
// a read one byte past it.
#ifndef FUZZ_FUZZ_INPUT_H
#define FUZZ_FUZZ_INPUT_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

// The bytes followed by a NUL (a NUL among them ends the C string early, as it would in argv).
std::unique_ptr<char[]> c_string(const uint8_t *data, size_t size);

// The bytes cut at every NUL; a NUL at the very end closes the last piece rather than opening an
// empty one. No bytes: no pieces.
std::vector<std::string> split_at_nul(const uint8_t *data, size_t size);

// A writable, null-ended argv of `program` followed by the pieces of split_at_nul.
class ArgVector {
 public:
  ArgVector(const char *program, const uint8_t *data, size_t size);
  int argc() const { return (int)mArgv.size() - 1; }
  char **argv() { return mArgv.data(); }

 private:
  std::vector<std::unique_ptr<char[]>> mStrings;
  std::vector<char *> mArgv;
};

// A path that names a regular file holding exactly `size` bytes of `data`: one memory file per
// process, rewritten for every input, so the readers under test open, stat and read a real file.
// Aborts when the file cannot be made or written.
const char *input_as_file(const uint8_t *data, size_t size);

#endif  // FUZZ_FUZZ_INPUT_H
