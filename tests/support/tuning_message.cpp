#include "tuning_message.h"

#include <string.h>

std::string messageHead(uint32_t first, uint32_t second) {
  std::string bytes(8, '\0');
  memcpy(&bytes[0], &first, 4);
  memcpy(&bytes[4], &second, 4);
  return bytes;
}
