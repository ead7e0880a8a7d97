#include "mesh_format.h"

#include <errno.h>
#include <unistd.h>

#include "regular_file.h"

namespace lenswarp {

MeshGeometry mesh_geometry(int out_width, int out_height) {
  MeshGeometry g;
  if (out_width <= 0 || out_height <= 0) return g;
  // Rounded up without adding to the size, which may be INT_MAX.
  const int64_t cols = out_width / kMeshStepX + (out_width % kMeshStepX != 0) + 1;
  const int64_t rows = out_height / kMeshStepY + (out_height % kMeshStepY != 0) + 1;
  if (cols * rows * (int64_t)kBytesPerPoint > INT32_MAX) return g;
  g.cols = (int)cols;
  g.rows = (int)rows;
  return g;
}

int decode_mesh(const uint8_t *bytes, size_t len, MeshGeometry geometry, Mesh *mesh) {
  const size_t n = geometry.points();
  if (len != geometry.bytes()) return EINVAL;
  const uint8_t *x_int = bytes;
  const uint8_t *x_frac = bytes + 2 * n;
  const uint8_t *y_int = bytes + 3 * n;
  const uint8_t *y_frac = bytes + 5 * n;
  Mesh decoded;
  decoded.geometry = geometry;
  decoded.x.resize(n);
  decoded.y.resize(n);
  for (size_t i = 0; i < n; ++i) {
    int16_t xi = (int16_t)(uint16_t)(x_int[2 * i] | x_int[2 * i + 1] << 8);
    int16_t yi = (int16_t)(uint16_t)(y_int[2 * i] | y_int[2 * i + 1] << 8);
    decoded.x[i] = xi * 256 + x_frac[i];
    decoded.y[i] = yi * 256 + y_frac[i];
  }
  *mesh = std::move(decoded);
  return 0;
}

std::vector<uint8_t> encode_mesh(const Mesh &mesh) {
  const size_t n = mesh.geometry.points();
  std::vector<uint8_t> bytes(mesh.geometry.bytes());
  uint8_t *x_int = bytes.data();
  uint8_t *x_frac = x_int + 2 * n;
  uint8_t *y_int = x_int + 3 * n;
  uint8_t *y_frac = x_int + 5 * n;
  for (size_t i = 0; i < n; ++i) {
    // Floor division by 256 keeps the fraction non-negative for negative positions.
    uint16_t xi = (uint16_t)(int16_t)(mesh.x[i] >> 8);
    uint16_t yi = (uint16_t)(int16_t)(mesh.y[i] >> 8);
    x_int[2 * i] = (uint8_t)xi;
    x_int[2 * i + 1] = (uint8_t)(xi >> 8);
    y_int[2 * i] = (uint8_t)yi;
    y_int[2 * i + 1] = (uint8_t)(yi >> 8);
    x_frac[i] = (uint8_t)(mesh.x[i] & 255);
    y_frac[i] = (uint8_t)(mesh.y[i] & 255);
  }
  return bytes;
}

int read_mesh_file_exact(const std::string &path, size_t expected_bytes,
                         std::vector<uint8_t> *mesh) {
  int fd;
  off_t size;
  int err = open_regular_file(path.c_str(), &fd, &size);
  if (err != 0) return err;
  if ((uint64_t)size != expected_bytes) {
    close(fd);
    return EINVAL;
  }
  std::vector<uint8_t> data(expected_bytes);
  size_t done = 0;
  while (done < expected_bytes) {
    ssize_t n = read(fd, data.data() + done, expected_bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : EINVAL;  // shrank while being read
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
