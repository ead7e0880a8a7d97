#include "pixel_formats.h"

const PixelFormat kPixelFormats[2] = {
    {DRM_FORMAT_NV12, "NV12", 2, {{1, 1, 1}, {2, 2, 2}}, 1, 3, 2},
    {PIXEL_FORMAT_FBC0, "FBC0", 0, {}, 64, 100, 1},
};

const PixelFormat *find_pixel_format(uint32_t code) {
  for (const PixelFormat &f : kPixelFormats) {
    if (f.code == code) return &f;
  }
  return nullptr;
}

uint64_t frame_bytes(const PixelFormat &format, uint64_t stride, uint64_t height) {
  const uint64_t units = stride / format.line_unit + (stride % format.line_unit != 0);
  uint64_t product;
  if (__builtin_mul_overflow(units, height, &product) ||
      __builtin_mul_overflow(product, (uint64_t)format.bytes_num, &product)) {
    return UINT64_MAX;
  }
  return product / format.bytes_den;
}

uint64_t nv12_frame_bytes(uint64_t stride, uint64_t height) {
  return frame_bytes(kPixelFormats[0], stride, height);
}
