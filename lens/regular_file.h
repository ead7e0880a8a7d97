// Opening the files the library reads (mesh files, calibration INIs) without ever blocking.
#ifndef LENS_REGULAR_FILE_H
#define LENS_REGULAR_FILE_H

#include <sys/types.h>

namespace lenswarp {

// Opens `path` for reading, without waiting on a FIFO or a device, and keeps it only when it is a
// regular file. Returns 0 with `*fd` (close-on-exec, the caller's to close) and `*size` filled,
// or an errno value: the open error, EISDIR for a directory, EINVAL for any other kind of file.
int open_regular_file(const char *path, int *fd, off_t *size);

}  // namespace lenswarp

#endif  // LENS_REGULAR_FILE_H
