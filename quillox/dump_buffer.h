// The memory a whole dump is received into before it is written.
#ifndef QUILLOX_DUMP_BUFFER_H
#define QUILLOX_DUMP_BUFFER_H

#include <stddef.h>

// Room for `size` bytes (at least 1), to be released with free(); null when it cannot be had.
// A large dump gets memory the kernel may back with huge pages: touching 64 MiB of fresh memory
// page by page costs more than receiving it.
char *allocateDumpBuffer(size_t size);

#endif  // QUILLOX_DUMP_BUFFER_H
