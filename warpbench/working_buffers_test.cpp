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
  EXPECT_EQ(13271040u, got.in_pic);
  EXPECT_EQ(12447360u, got.out_pic_alloc);

  strided.out_stride = 4096;
  strided.out_pixelformat = fbc0;
  EXPECT_EQ(64u * 2160 * 100, working_buffer_sizes(&strided, mesh_4k).out_pic_frame);
}

// Sizes beyond 32 bits come out whole, and beyond 64 bits as UINT64_MAX, never wrapped small.
TEST(WorkingBufferSizes, NeverWrap) {
  const uint32_t nv12 = 0x3231564E, fbc0 = 0x30434246;
  FecConfig tall = job(64, 0x80000000u, 64, 32, nv12);
  tall.stride = INT32_MAX;
  FecConfig thin = job(3840, 2160, 2, 16, nv12);
  thin.out_stride = 2668926;
  FecConfig wide_fbc0 = job(64, 32, 64, 2160, fbc0);
  wide_fbc0.out_stride = INT32_MAX;
  const FecConfig huge = job(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, nv12);
  const struct {
    const char *what;
    FecConfig cfg;
    uint64_t in_pic, out_pic_alloc, out_pic_frame;
  } cases[] = {
      {"stride 2^31-1, height 2^31", tall, 6917529024419856384u, 206158430304u, 3072},
      {"output stride beyond the input's lines", thin, 12441600, 8651323629u, 64054224},
      {"FBC0 with a stride of 2^31-1", wide_fbc0, 3072, 7247757312000u, 7247757312000u},
      {"every size 2^32-1", huge, UINT64_MAX, UINT64_MAX, UINT64_MAX},
  };
  for (const auto &c : cases) {
    WorkingBufferSizes got = working_buffer_sizes(&c.cfg, 1);
    EXPECT_EQ(c.in_pic, got.in_pic) << c.what;
    EXPECT_EQ(c.out_pic_alloc, got.out_pic_alloc) << c.what;
    EXPECT_EQ(c.out_pic_frame, got.out_pic_frame) << c.what;
  }
  EXPECT_EQ(6ull * INT32_MAX, working_buffer_sizes(&huge, INT32_MAX).mesh);
  EXPECT_EQ(0u, working_buffer_sizes(&huge, -1).mesh);
}

}  // namespace
