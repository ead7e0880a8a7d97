#include "mesh_format.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <math.h>

#include <string>

#include "scratch_dir.h"

namespace {

TEST(MeshGeometry, CountsGridPointsIncludingTheFarEdge) {
  EXPECT_EQ(16456u, lenswarp::mesh_geometry(3840, 2160).points());  // 121 x 136
  EXPECT_EQ(6u * 16456u, lenswarp::mesh_geometry(3840, 2160).bytes());
  EXPECT_EQ(2u * 2u, lenswarp::mesh_geometry(1, 1).points());
  EXPECT_EQ(2u * 2u, lenswarp::mesh_geometry(32, 16).points());
  EXPECT_EQ(3u * 3u, lenswarp::mesh_geometry(33, 17).points());
  EXPECT_EQ(0u, lenswarp::mesh_geometry(0, 2160).points());
  EXPECT_EQ(0u, lenswarp::mesh_geometry(-32, 16).points());
}

TEST(MeshGeometry, NeverOverflowsAndRefusesMeshesBeyondAnInt) {
  const struct {
    int width, height;
    size_t points;
  } cases[] = {
      {INT_MAX, 16, 67108865u * 2u},
      {1908874304, 80, 59652323u * 6u},  // 2147483628 bytes
      {1908874336, 80, 0},               // 2147483664 bytes
      {INT_MAX, INT_MAX, 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(c.points, lenswarp::mesh_geometry(c.width, c.height).points()) << c.width;
  }
}

TEST(MeshPosition, RoundsToTheNearest256thTiesToEvenAndClamps) {
  const struct {
    double pixels;
    int32_t stored;
  } cases[] = {
      {0.0, 0},
      {1.0 / 256, 1},
      {0.5 / 256, 0},
      {1.5 / 256, 2},
      {2.5 / 256, 2},
      {-0.5 / 256, 0},
      {-1.5 / 256, -2},
      {-2.6 / 256, -3},
      {3.25, 832},
      {-3.25, -832},
      {1000.4999 / 256, 1000},
      {-32768.0, -8388608},
      {-32768.5, -8388608},
      {-1e300, -8388608},
      {32767 + 255.0 / 256, 8388607},
      {32767 + 255.5 / 256, 8388607},  // a tie: up, then clamped
      {1e300, 8388607},
      {NAN, -8388608},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(c.stored, lenswarp::quantize_position(c.pixels)) << c.pixels;
  }
}

TEST(MeshFile, IsReadOnlyAtExactlyTheExpectedLength) {
  const size_t expected = lenswarp::mesh_geometry(64, 32).bytes();  // 3 x 3 points, 54 bytes
  ScratchDir dir;
  for (size_t len : {expected - 1, expected, expected + 1, size_t{0}}) {
    const std::string path = dir.write("mesh.bin", std::string(len, '\x07'));
    std::vector<uint8_t> mesh = {1, 2, 3};
    int err = lenswarp::read_mesh_file_exact(path.c_str(), expected, &mesh);
    if (len == expected) {
      EXPECT_EQ(0, err);
      EXPECT_EQ(std::vector<uint8_t>(expected, 7), mesh);
    } else {
      EXPECT_EQ(EINVAL, err) << len;
      EXPECT_EQ(3u, mesh.size()) << "a refused file leaves the mesh as it was";
    }
  }
  std::vector<uint8_t> mesh;
  EXPECT_EQ(ENOENT, lenswarp::read_mesh_file_exact("/nonexistent/mesh.bin", expected, &mesh));
}

}  // namespace
