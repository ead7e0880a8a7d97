// The stand-in library's mesh layout, shared by memory, files and the tools.
//
// For an output of W x H pixels the mesh is a grid of points every 32 columns and 16 rows:
// cols = ceil(W / 32) + 1, rows = ceil(H / 16) + 1. Point (c, r), at index r * cols + c, gives
// the source position in input pixels of output pixel (32c, 16r). The 6n bytes hold four planes:
// x integer parts (n x int16 LE), x fractions (n x uint8, 1/256), y integer parts, y fractions.
#ifndef LENS_MESH_FORMAT_H
#define LENS_MESH_FORMAT_H

#include <stddef.h>
#include <stdint.h>

#include <cmath>
#include <string>
#include <vector>

namespace lenswarp {

constexpr int kMeshStepX = 32;
constexpr int kMeshStepY = 16;
constexpr size_t kBytesPerPoint = 6;

struct MeshGeometry {
  int cols = 0;
  int rows = 0;
  size_t points() const { return (size_t)cols * (size_t)rows; }
  size_t bytes() const { return points() * kBytesPerPoint; }
};

// The grid for an output picture; cols and rows are 0 for a non-positive size, and for a size
// whose mesh would exceed INT32_MAX bytes (so the point count and the bytes fit an int and a
// 32-bit size_t).
MeshGeometry mesh_geometry(int out_width, int out_height);

// A mesh decoded for the engine: the source position of each point in 1/256 input pixel,
// integer part * 256 + fraction, in point order.
struct Mesh {
  MeshGeometry geometry;
  std::vector<int32_t> x;
  std::vector<int32_t> y;
};

// The 1/256-pixel value stored for a position: rounded to nearest (ties to even, as nearbyint
// in the default rounding mode) and clamped to what the planes can hold, [-32768, 32767 +
// 255/256]; NaN gives the lowest. Inline, since a mesh generator quantizes every point: built
// without errno for maths functions, lrint is a single instruction.
inline int32_t quantize_position(double pixels) {
  constexpr double kMin = -32768.0 * 256.0;
  constexpr double kMax = 32767.0 * 256.0 + 255.0;
  double v = pixels * 256.0;
  v = v > kMin ? v : kMin;  // also NaN
  v = v < kMax ? v : kMax;
  return (int32_t)std::lrint(v);
}

// Decodes `len` bytes of mesh for `geometry` into `mesh`. Returns 0, or EINVAL when `len` is not
// the geometry's size (then `mesh` is left as it was).
int decode_mesh(const uint8_t *bytes, size_t len, MeshGeometry geometry, Mesh *mesh);

// Encodes quantized positions (as quantize_position returns them) into the 6n-byte layout.
std::vector<uint8_t> encode_mesh(const Mesh &mesh);

// Reads a whole mesh file of exactly `expected_bytes`. Returns 0, or an errno value: the open or
// read error, EINVAL for a file of any other length, or open_regular_file's refusal of a file
// that is not a regular one.
int read_mesh_file_exact(const std::string &path, size_t expected_bytes,
                         std::vector<uint8_t> *mesh);

}  // namespace lenswarp

#endif  // LENS_MESH_FORMAT_H
