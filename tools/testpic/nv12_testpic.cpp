// nv12-testpic: writes a synthetic NV12 test picture (a checkerboard with a grid over it), so a
// run can be tried without a camera capture.
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

constexpr int kSquare = 128;  // checkerboard square, pixels
constexpr int kGrid = 64;     // grid line spacing, pixels

int usage() {
  fprintf(stderr,
          "usage: nv12-testpic WIDTH HEIGHT OUTPUT\n"
          "  writes a WIDTHxHEIGHT NV12 picture (even sizes) to OUTPUT\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) return usage();
  long width = strtol(argv[1], nullptr, 10);
  long height = strtol(argv[2], nullptr, 10);
  if (width < 2 || height < 2 || width > 16384 || height > 16384 || width % 2 || height % 2) {
    return usage();
  }
  std::vector<uint8_t> pic((size_t)(width * height * 3 / 2));
  for (long y = 0; y < height; ++y) {
    for (long x = 0; x < width; ++x) {
      bool dark = ((x / kSquare) + (y / kSquare)) % 2 != 0;
      bool line = x % kGrid < 2 || y % kGrid < 2;
      pic[(size_t)(y * width + x)] = line ? 235 : dark ? 60 : 180;
    }
  }
  uint8_t *uv = pic.data() + width * height;
  for (long y = 0; y < height / 2; ++y) {
    for (long x = 0; x < width / 2; ++x) {
      // A tint per quadrant shows at a glance whether chroma follows luma.
      bool right = x * 2 >= width / 2, bottom = y * 2 >= height / 2;
      uv[y * width + 2 * x] = right ? 160 : 96;
      uv[y * width + 2 * x + 1] = bottom ? 160 : 96;
    }
  }
  FILE *f = fopen(argv[3], "wb");
  if (f == nullptr) {
    fprintf(stderr, "nv12-testpic: cannot open %s: %s\n", argv[3], strerror(errno));
    return 1;
  }
  size_t n = fwrite(pic.data(), 1, pic.size(), f);
  if (fclose(f) != 0 || n != pic.size()) {
    fprintf(stderr, "nv12-testpic: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
