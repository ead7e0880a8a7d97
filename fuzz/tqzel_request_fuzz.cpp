// tqzel-sim's request decoder. The first byte chooses the message type (mostly the dump
// request's 5), the rest is the payload.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  unsigned int type = data[0] < 0xf0 ? 5u : data[0];
  DumpRequest request =
      decodeRequest(type, std::string(reinterpret_cast<const char *>(data + 1), size - 1));
  // Exactly the refused requests say why.
  if (request.valid == !request.error.empty()) abort();
  return 0;
}
