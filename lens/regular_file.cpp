#include "regular_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lenswarp {

int open_regular_file(const char *path, int *fd, off_t *size) {
  // O_NONBLOCK makes opening a FIFO return at once; on a regular file it changes nothing.
  int opened = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (opened < 0) return errno;
  struct stat st;
  int err = fstat(opened, &st) != 0 ? errno : 0;
  if (err == 0 && !S_ISREG(st.st_mode)) err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (err != 0) {
    close(opened);
    return err;
  }
  *fd = opened;
  *size = st.st_size;
  return 0;
}

}  // namespace lenswarp
