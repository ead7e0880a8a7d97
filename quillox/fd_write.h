// Complete writes to a file descriptor.
#ifndef QUILLOX_FD_WRITE_H
#define QUILLOX_FD_WRITE_H

#include <string>

// Writes all `byte_count` bytes, repeating a write interrupted by a signal and continuing after
// a partial one. False at the first other write error, with errno set and nothing printed; a
// count of 0 is true without a write.
bool WriteFully(int fd, const void *data, unsigned int byte_count);

// WriteFully of the string's characters.
bool WriteStringToFd(const std::string &content, int fd);

#endif  // QUILLOX_FD_WRITE_H
