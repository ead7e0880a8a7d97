// The head of a message to or from the tuning service, as the tests build the bytes that cross.
#ifndef TESTS_SUPPORT_TUNING_MESSAGE_H
#define TESTS_SUPPORT_TUNING_MESSAGE_H

#include <stdint.h>

#include <string>

// "id, size" as the 8-byte head of a message, in the machine's byte order.
std::string messageHead(uint32_t first, uint32_t second);

#endif  // TESTS_SUPPORT_TUNING_MESSAGE_H
