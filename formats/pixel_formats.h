// The pixel formats that warpbench, the simulated platform and the tools know, as one table:
// each format's code (libdrm's fourcc where it has one), name, plane geometry and the bytes one
// frame takes. Every frame size in the tree comes from here.
#ifndef FORMATS_PIXEL_FORMATS_H
#define FORMATS_PIXEL_FORMATS_H

#include <drm_fourcc.h>
#include <stdint.h>

// The SoC's compressed frame buffer format, which libdrm does not know.
#define PIXEL_FORMAT_FBC0 fourcc_code('F', 'B', 'C', '0')

// One plane, against the first: samples every `h_sub` columns and `v_sub` lines, each of
// `bytes_per_sample` bytes (2 for interleaved U and V).
struct PlaneGeometry {
  uint8_t h_sub, v_sub, bytes_per_sample;
};

struct PixelFormat {
  uint32_t code;
  const char *name;
  uint8_t planes;  // 0 for a compressed format
  PlaneGeometry plane[2];
  // A frame of stride S and height H takes ceil(S / line_unit) x H x bytes_num / bytes_den bytes:
  // NV12 its luma lines and half as many chroma lines below them; FBC0 100 bytes for every
  // 64-byte block of a line.
  uint32_t line_unit;
  uint32_t bytes_num, bytes_den;
};

extern const PixelFormat kPixelFormats[2];  // NV12, FBC0

// The table's entry for `code`, or null.
const PixelFormat *find_pixel_format(uint32_t code);

// The bytes of a frame of `format` with `stride` bytes per line and `height` lines, in 64 bits;
// UINT64_MAX when that does not fit, so a size too large stays too large.
uint64_t frame_bytes(const PixelFormat &format, uint64_t stride, uint64_t height);

// frame_bytes of NV12, the format every tool reads and writes.
uint64_t nv12_frame_bytes(uint64_t stride, uint64_t height);

#endif  // FORMATS_PIXEL_FORMATS_H
