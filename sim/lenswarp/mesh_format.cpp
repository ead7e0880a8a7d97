#include "mesh_format.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lenswarp {

MeshGeometry mesh_geometry(int out_width, int out_height) {
  MeshGeometry g;
  if (out_width <= 0 || out_height <= 0) return g;
  g.cols = (out_width + kMeshStepX - 1) / kMeshStepX + 1;
  g.rows = (out_height + kMeshStepY - 1) / kMeshStepY + 1;
  return g;
}

int read_mesh_file_exact(const std::string &path, size_t expected_bytes,
                         std::vector<uint8_t> *mesh) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int err = errno;
    close(fd);
    return err;
  }
  if (!S_ISREG(st.st_mode) || (size_t)st.st_size != expected_bytes) {
    close(fd);
    return EINVAL;
  }
  std::vector<uint8_t> data(expected_bytes);
  size_t done = 0;
  while (done < expected_bytes) {
    ssize_t n = read(fd, data.data() + done, expected_bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int err = n < 0 ? errno : EINVAL;  // shrank while being read
      close(fd);
      return err;
    }
    done += (size_t)n;
  }
  close(fd);
  mesh->swap(data);
  return 0;
}

}  // namespace lenswarp
