#include "pixel_formats.h"

#include <gtest/gtest.h>

namespace {

// The sizes warpbench's buffers and the tools' files have always had, from their own rules.
TEST(PixelFormats, FrameBytesOfEachFormat) {
  const PixelFormat *nv12 = find_pixel_format(0x3231564E);
  const PixelFormat *fbc0 = find_pixel_format(0x30434246);
  ASSERT_NE(nullptr, nv12);
  ASSERT_NE(nullptr, fbc0);
  EXPECT_STREQ("NV12", nv12->name);
  EXPECT_STREQ("FBC0", fbc0->name);
  EXPECT_EQ(nullptr, find_pixel_format(0x56595559));  // YUYV
  EXPECT_EQ(12441600u, frame_bytes(*nv12, 3840, 2160));
  EXPECT_EQ(13271040u, frame_bytes(*nv12, 4096, 2160));
  EXPECT_EQ(4u * 3u * 3u / 2u, frame_bytes(*nv12, 4, 3)) << "an odd height rounds down";
  // 60 blocks of 64 bytes a line, 100 bytes a block.
  EXPECT_EQ(12960000u, frame_bytes(*fbc0, 3840, 2160));
  EXPECT_EQ(61u * 2160u * 100u, frame_bytes(*fbc0, 3841, 2160)) << "a part block is a block";
  EXPECT_EQ(UINT64_MAX, frame_bytes(*nv12, UINT64_MAX / 2, 3)) << "never wraps";
  EXPECT_EQ(frame_bytes(*nv12, 64, 32), nv12_frame_bytes(64, 32));
}

}  // namespace
