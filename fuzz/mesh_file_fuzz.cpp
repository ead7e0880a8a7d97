// The stand-in library's mesh file reader and decoder. The first two bytes choose the output size
// the mesh is read for (negative and zero sizes included), the rest is the file.
#include <stdint.h>
#include <stdlib.h>

#include "fuzz_input.h"
#include "mesh_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const lenswarp::MeshGeometry geometry =
      lenswarp::mesh_geometry((int8_t)data[0] * 4, (int8_t)data[1] * 2);
  const uint8_t *file = data + 2;
  const size_t file_size = size - 2;

  std::vector<uint8_t> bytes;
  int err =
      lenswarp::read_mesh_file_exact(input_as_file(file, file_size), geometry.bytes(), &bytes);
  if ((err == 0) != (file_size == geometry.bytes())) abort();
  lenswarp::Mesh mesh;
  err = lenswarp::decode_mesh(file, file_size, geometry, &mesh);
  if ((err == 0) != (file_size == geometry.bytes())) abort();
  if (err != 0) {
    if (mesh.geometry.points() != 0 || !mesh.x.empty()) abort();  // left as it was
    return 0;
  }
  // Every stored value decodes to a position that encodes back to the same bytes.
  if (bytes != std::vector<uint8_t>(file, file + file_size)) abort();
  if (lenswarp::encode_mesh(mesh) != bytes) abort();
  return 0;
}
