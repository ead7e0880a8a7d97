// The software correction engine: NV12 in, NV12 out, each output sample taken by bilinear
// interpolation at the source position that the mesh gives.
//
// Positions: output luma pixel (x, y) lies in the mesh cell whose corners are the points at
// (32c, 16r) ... (32c + 32, 16r + 16); its source position is the bilinear interpolation of the
// four corner positions. Chroma sample (i, j) is co-sited with luma pixel (2i, 2j): its source
// position, in chroma samples, is half the luma source position of (2i, 2j). A mesh that shifts
// by an even number of pixels thus shifts chroma by exactly half as many.
//
// Arithmetic: positions are exact (1/131072 pixel for luma, 1/262144 for chroma); the
// interpolation weights keep 11 bits of the fraction (truncated), and the sample is computed in
// integers and rounded half up, so every sample is within 1 of the exact value and an integer
// shift is exact.
#ifndef SIM_LENSWARP_WARP_ENGINE_H
#define SIM_LENSWARP_WARP_ENGINE_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "mesh_format.h"

namespace lenswarp {

// One NV12 picture in a buffer: `stride` bytes per line, `offset_x` the first byte used in each
// line, the UV plane starting at line `height` (byte stride * height), interleaved U, V.
struct PictureLayout {
  int width = 0;
  int height = 0;
  int stride = 0;
  int offset_x = 0;
  // The bytes a buffer must hold for this picture.
  size_t bytes() const;
};

enum BorderMode : int32_t {
  kBorderBackground = 0,  // taps outside the input take the background value
  kBorderNearest = 1,     // taps outside the input take the nearest edge pixel
};

// A job's geometry and options: everything but the mesh, kept as one record so that a job
// with a new mesh takes all of them over at once.
struct WarpSettings {
  PictureLayout in;
  PictureLayout out;
  int32_t border_mode = kBorderBackground;
  uint8_t bg_y = 0, bg_u = 0, bg_v = 0;
};

// Everything a frame needs, fixed while the frame runs.
struct WarpJob {
  WarpSettings settings;
  Mesh mesh;  // for the output size
};

struct FramePlanes;

// One way of computing a frame: the scalar code, the reference, or the vector code of one
// instruction set (Highway target), which runs where a mesh cell lies inside the input and
// leaves the rest to the scalar code. Every kernel computes exactly what the scalar code does.
struct WarpKernel {
  const char *name;  // "scalar", or the instruction set's name in Highway (hwy::TargetName)
  int64_t target;    // the Highway target, 0 for the scalar code
  void (*mesh_row)(const WarpJob &job, const FramePlanes &planes, int row);
};

const WarpKernel &scalar_kernel();
// The kernels that this build holds and this CPU runs: the scalar code, then the vector code
// of each instruction set, in the order the default kernel is chosen by.
std::vector<const WarpKernel *> warp_kernels();
// The kernel of that name among warp_kernels(); null for a name not compiled in or an
// instruction set this CPU lacks.
const WarpKernel *find_warp_kernel(const char *name);
// The first vector kernel of warp_kernels(), or the scalar code where there is none.
const WarpKernel &default_warp_kernel();

// Computes the output rows of mesh cell row `row` (luma rows 16 row .. 16 row + 15 and chroma
// rows 8 row .. 8 row + 7, as far as the picture goes) from `in` into `out`. The buffers must
// hold in.bytes() and out.bytes(); rows never overlap, so threads may share a frame by row.
void warp_mesh_row(const WarpJob &job, const uint8_t *in, uint8_t *out, int row,
                   const WarpKernel &kernel);

// The number of mesh cell rows of a job's output.
inline int mesh_cell_rows(const WarpJob &job) {
  return job.mesh.geometry.rows - 1;
}

// The whole frame on the calling thread.
void warp_frame(const WarpJob &job, const uint8_t *in, uint8_t *out, const WarpKernel &kernel);

class ThreadPool;
// The whole frame shared out by mesh cell row over `pool`'s threads; returns when it is done.
void warp_frame_on(ThreadPool &pool, const WarpJob &job, const uint8_t *in, uint8_t *out,
                   const WarpKernel &kernel);

}  // namespace lenswarp

#endif  // SIM_LENSWARP_WARP_ENGINE_H
