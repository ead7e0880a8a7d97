#include "mesh_picture.h"

#include <math.h>

#include <algorithm>

namespace {

const uint8_t kGridColour[3] = {80, 80, 80};
const uint8_t kMeshColour[3] = {255, 255, 0};

struct Point {
  double x;
  double y;
};

// Clips the segment a-b to [lo, hi] along one axis (Liang-Barsky): false when nothing is left.
bool clip_axis(double a, double b, double lo, double hi, double *t0, double *t1) {
  const double d = b - a;
  if (d == 0) return a >= lo && a <= hi;
  double ta = (lo - a) / d, tb = (hi - a) / d;
  if (ta > tb) std::swap(ta, tb);
  *t0 = std::max(*t0, ta);
  *t1 = std::min(*t1, tb);
  return *t0 <= *t1;
}

// Draws the segment a-b, in pixel-centre coordinates, clipped to the picture: points far
// outside it (a source beyond the lens's field) cost nothing.
void draw_line(RgbPicture *pic, Point a, Point b, const uint8_t *colour) {
  double t0 = 0, t1 = 1;
  if (!clip_axis(a.x, b.x, -0.5, pic->width - 0.5, &t0, &t1) ||
      !clip_axis(a.y, b.y, -0.5, pic->height - 0.5, &t0, &t1)) {
    return;
  }
  const Point p = {a.x + (b.x - a.x) * t0, a.y + (b.y - a.y) * t0};
  const Point q = {a.x + (b.x - a.x) * t1, a.y + (b.y - a.y) * t1};
  const long steps = std::max(1L, (long)ceil(std::max(fabs(q.x - p.x), fabs(q.y - p.y))));
  for (long i = 0; i <= steps; ++i) {
    const long x = lround(p.x + (q.x - p.x) * i / steps);
    const long y = lround(p.y + (q.y - p.y) * i / steps);
    if (x < 0 || y < 0 || x >= pic->width || y >= pic->height) continue;
    std::copy(colour, colour + 3, &pic->rgb[((size_t)y * pic->width + x) * 3]);
  }
}

// Lines through the points of each mesh row and of each mesh column.
void draw_grid(RgbPicture *pic, const lenswarp::MeshGeometry &g, const std::vector<Point> &points,
               const uint8_t *colour) {
  for (int r = 0; r < g.rows; ++r) {
    for (int c = 0; c < g.cols; ++c) {
      const Point &p = points[(size_t)r * g.cols + c];
      if (c + 1 < g.cols) draw_line(pic, p, points[(size_t)r * g.cols + c + 1], colour);
      if (r + 1 < g.rows) draw_line(pic, p, points[(size_t)(r + 1) * g.cols + c], colour);
    }
  }
}

}  // namespace

RgbPicture draw_mesh(const lenswarp::Mesh &mesh, int in_width, int in_height, int out_width,
                     int out_height) {
  RgbPicture pic;
  pic.width = std::min(out_width, kMeshPictureMaxWidth);
  pic.height = std::max(1, (int)lround((double)out_height * pic.width / out_width));
  pic.rgb.assign((size_t)pic.width * pic.height * 3, 0);

  // Pixel centres line up, as in the mesh generator: output position o is picture position
  // (o + 0.5) * scale - 0.5, and source position s is output position (s + 0.5) * out / in - 0.5.
  const lenswarp::MeshGeometry &g = mesh.geometry;
  const double sx = (double)pic.width / out_width, sy = (double)pic.height / out_height;
  std::vector<Point> grid(g.points()), source(g.points());
  for (int r = 0; r < g.rows; ++r) {
    for (int c = 0; c < g.cols; ++c) {
      const size_t i = (size_t)r * g.cols + c;
      grid[i] = {((double)c * lenswarp::kMeshStepX + 0.5) * sx - 0.5,
                 ((double)r * lenswarp::kMeshStepY + 0.5) * sy - 0.5};
      source[i] = {(mesh.x[i] / 256.0 + 0.5) * out_width / in_width * sx - 0.5,
                   (mesh.y[i] / 256.0 + 0.5) * out_height / in_height * sy - 0.5};
    }
  }
  draw_grid(&pic, g, grid, kGridColour);
  draw_grid(&pic, g, source, kMeshColour);
  return pic;
}
