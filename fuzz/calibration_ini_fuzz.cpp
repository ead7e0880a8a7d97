// The stand-in library's calibration INI reader, on the bytes as the file's contents.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "calibration_ini.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FecOnlineConfig cfg;
  memset(&cfg, 0x5a, sizeof(cfg));
  FecOnlineConfig before = cfg;
  int err = lenswarp::load_calibration_ini(input_as_file(data, size), &cfg);
  // A refused file leaves the caller's parameters as they were.
  if (err != 0 && memcmp(&cfg, &before, sizeof(cfg)) != 0) abort();
  return 0;
}
