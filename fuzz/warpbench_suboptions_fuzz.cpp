// warpbench's -v/-x and --set-bg-val arguments: the first byte picks the parser, the rest is the
// option's argument.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_input.h"
#include "options.h"

namespace {

const char *const kKeys[] = {"width", "height", "pixelformat", nullptr};

// getsubopt walked over a whole list as parse_fmt walks it: every result must be a key's index
// or -1, and every value must lie inside the argument.
void walk_suboptions(char *arg) {
  const size_t length = strlen(arg);
  char *cursor = arg;
  while (*cursor != '\0') {
    char *value;
    int index = warpbench::getsubopt(&cursor, kKeys, &value);
    if (index < -1 || index > 2) abort();
    if (value != nullptr && (value < arg || value > arg + length)) abort();
    if (cursor < arg || cursor > arg + length) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  std::unique_ptr<char[]> arg = c_string(data + 1, size - 1);
  uint32_t a = 0, b = 0, c = 0;
  switch (data[0] % 4) {
    case 0: {
      int result = parse_fmt(arg.get(), &a, &b, &c);
      if (result != 0 && result != -1 && result != PARSE_FMT_BAD_PIXELFORMAT) abort();
      break;
    }
    case 1:
      if (parse_bg_val(arg.get(), &a, &b, &c) < -1) abort();
      break;
    case 2:
      pixelformat_code(arg.get(), &a);
      break;
    default:
      walk_suboptions(arg.get());
      break;
  }
  return 0;
}
