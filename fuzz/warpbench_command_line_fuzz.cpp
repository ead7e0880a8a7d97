// warpbench's whole command line: the bytes, cut at every NUL, are the arguments after the
// program name. Every input starts from the default settings and a fresh option parser.
#include <stdint.h>
#include <stdlib.h>

#include "fuzz_input.h"
#include "options.h"
#include "run_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  ArgVector args("warpbench", data, size);
  run_settings = default_run_settings();
  int status = parse_command_line(args.argc(), args.argv());
  if (status < -1 || status > 1) abort();
  return 0;
}
