// quillox's printable-text scan. The first byte chooses "every match" (bit 0) and the needle's
// length (bits 1-4); the needle follows, the rest is the scanned file. The scan reads in blocks
// and finds runs in place; its output must be that of the plain byte-by-byte scan below.
#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

#include "fuzz_input.h"
#include "text_scan.h"

namespace {

constexpr size_t kMinRun = 4;
constexpr size_t kMaxRun = 4095;

bool printable(uint8_t c) {
  return (c >= 0x20 && c <= 0x7e) || c == '\t';
}

// The scan as the header describes it, one byte at a time.
int scan_bytewise(const uint8_t *data, size_t size, const std::string &needle, std::string *output,
                  bool all) {
  int found = 0;
  std::string run;
  auto flush = [&]() {
    bool match = run.size() >= kMinRun && run.find(needle) != std::string::npos;
    if (match) {
      *output += run + "\n";
      found = 1;
    }
    run.clear();
    return match && !all;  // true: stop
  };
  for (size_t i = 0; i < size; ++i) {
    if (!printable(data[i])) {
      if (flush()) return found;
    } else if (run.size() == kMaxRun) {
      if (flush()) return found;  // and the byte is dropped
    } else {
      run += (char)data[i];
    }
  }
  flush();
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const bool all = (data[0] & 1) != 0;
  const size_t needle_length = std::min((size_t)(data[0] >> 1 & 15), size - 1);
  std::unique_ptr<char[]> needle = c_string(data + 1, needle_length);
  const uint8_t *file = data + 1 + needle_length;
  const size_t file_size = size - 1 - needle_length;

  std::string output;
  int result = strings(input_as_file(file, file_size), needle.get(), output, all);
  std::string expected;
  int expected_result = scan_bytewise(file, file_size, needle.get(), &expected, all);
  if (result != expected_result || output != expected) abort();
  return 0;
}
