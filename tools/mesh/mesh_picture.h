// A mesh drawn over its output grid, so that a calibration can be judged at a glance.
#ifndef TOOLS_MESH_MESH_PICTURE_H
#define TOOLS_MESH_MESH_PICTURE_H

#include <stdint.h>

#include <vector>

#include "mesh_format.h"

// Wider outputs are drawn scaled down to this width, the height in proportion.
constexpr int kMeshPictureMaxWidth = 1920;

struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // 8-bit RGB, row after row
};

// On black, the output grid (a line through the mesh points' output positions, every 32 columns
// and 16 rows) in grey, and over it in yellow the same lines through the points' source
// positions, scaled from the input's size to the output's. A point's displacement is the gap
// between the two; the identity covers the grey grid exactly. `mesh` is for an output of
// out_width x out_height and an input of in_width x in_height (all positive).
RgbPicture draw_mesh(const lenswarp::Mesh &mesh, int in_width, int in_height, int out_width,
                     int out_height);

#endif  // TOOLS_MESH_MESH_PICTURE_H
