// The synthetic test scene: a checkerboard with a grid over it, drawn flat or as the fisheye
// lens of a calibration would see it. The scene lies on a plane facing the camera, in units of
// calibration pixels at the centre's scale, so a full correction (style 0) of the fisheye
// picture gives back the flat pattern: grid lines at x, y = 64k .. 64k + 2, square edges at
// 64k + 32.
#ifndef TOOLS_TESTPIC_FISHEYE_SCENE_H
#define TOOLS_TESTPIC_FISHEYE_SCENE_H

#include <lenswarp_api.h>
#include <stdint.h>

#include <vector>

namespace testpic {

constexpr int kSquare = 128;   // checkerboard square, pixels
constexpr int kGrid = 64;      // grid line spacing, pixels
constexpr int kLineWidth = 2;  // grid line width, pixels
constexpr uint8_t kLineY = 235;
constexpr uint8_t kDarkY = 60;
constexpr uint8_t kLightY = 180;
constexpr uint8_t kOutsideY = 16;  // beyond the lens's field

// Luma of the scene at (x, y); pixel (x, y) covers [x - 0.5, x + 0.5).
uint8_t scene_luma(double x, double y);

// The flat pattern as a width x height NV12 picture (even sizes) in `pic`, width x height x 3 / 2
// bytes, sampled at pixel centres. A tint per quadrant shows at a glance whether chroma follows
// luma.
void render_flat(int width, int height, uint8_t *pic);

// The scene through the lens of `cfg` (a configuration check_online_config accepts) as a
// width x height NV12 picture in `pic`, luma averaged over samples x samples points per pixel.
void render_fisheye(const FecOnlineConfig &cfg, int width, int height, int samples, uint8_t *pic);
// The same picture in a new vector.
std::vector<uint8_t> render_fisheye(const FecOnlineConfig &cfg, int width, int height, int samples);

}  // namespace testpic

#endif  // TOOLS_TESTPIC_FISHEYE_SCENE_H
