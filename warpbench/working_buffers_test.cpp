#include "working_buffers.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

FecConfig job(uint32_t w, uint32_t h, uint32_t out_w, uint32_t out_h, uint32_t out_pf) {
  FecConfig cfg;
  memset(&cfg, 0, sizeof(cfg));
  cfg.width = w;
  cfg.height = h;
  cfg.out_width = out_w;
  cfg.out_height = out_h;
  cfg.out_pixelformat = out_pf;
  return cfg;
}

TEST(WorkingBufferSizes, FollowTheFormatAndStrides) {
  const uint32_t nv12 = 0x3231564E, fbc0 = 0x30434246;
  const int32_t mesh_4k = 16456;
  struct {
    const char *what;
    FecConfig cfg;
    WorkingBufferSizes want;
  } cases[] = {
      {"4K, strides 0", job(3840, 2160, 3840, 2160, nv12), {98736, 12441600, 12447360, 12441600}},
      {"4K, FBC0 output", job(3840, 2160, 3840, 2160, fbc0), {98736, 12441600, 12960000, 12960000}},
      {"output taller than input + 1",
       job(3840, 2160, 3840, 2400, nv12),
       {98736, 12441600, 13824000, 13824000}},
      {"output exactly input + 1", job(64, 32, 64, 33, nv12), {98736, 3072, 3168, 3168}},
  };
  for (auto &c : cases) {
    WorkingBufferSizes got = working_buffer_sizes(&c.cfg, mesh_4k);
    EXPECT_EQ(c.want.mesh, got.mesh) << c.what;
    EXPECT_EQ(c.want.in_pic, got.in_pic) << c.what;
    EXPECT_EQ(c.want.out_pic_alloc, got.out_pic_alloc) << c.what;
    EXPECT_EQ(c.want.out_pic_frame, got.out_pic_frame) << c.what;
  }

  FecConfig strided = job(3840, 2160, 3840, 2160, nv12);
  strided.stride = 4096;
  strided.out_stride = 3000;  // below the width: ignored
  WorkingBufferSizes got = working_buffer_sizes(&strided, mesh_4k);
  EXPECT_EQ(13271040, got.in_pic);
  EXPECT_EQ(12447360, got.out_pic_alloc);

  strided.out_stride = 4096;
  strided.out_pixelformat = fbc0;
  EXPECT_EQ(64 * 2160 * 100, working_buffer_sizes(&strided, mesh_4k).out_pic_frame);
}

}  // namespace
