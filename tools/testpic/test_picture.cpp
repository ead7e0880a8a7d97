#include "test_picture.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <memory>

#include "calibration_ini.h"
#include "fisheye_model.h"
#include "fisheye_scene.h"
#include "pixel_formats.h"
#include "tool_io.h"

bool write_test_picture(const TestpicSettings &s) {
  FecOnlineConfig cfg = {};
  if (s.ini != nullptr) {
    int err = lenswarp::load_calibration_ini(s.ini, &cfg);
    if (err != 0) {
      fprintf(stderr, "nv12-testpic: cannot read %s: %s\n", s.ini, strerror(err));
      return false;
    }
    if (lenswarp::check_online_config(cfg) != 0) {
      fprintf(stderr, "nv12-testpic: %s does not describe a lens the model accepts\n", s.ini);
      return false;
    }
  }
  const size_t size = (size_t)nv12_frame_bytes(s.width, s.height);
  std::unique_ptr<uint8_t[]> pic = allocate_bytes("nv12-testpic", size, "the picture");
  if (!pic) return false;
  if (s.ini != nullptr) {
    testpic::render_fisheye(cfg, (int)s.width, (int)s.height, (int)s.samples, pic.get());
  } else {
    testpic::render_flat((int)s.width, (int)s.height, pic.get());
  }
  return write_whole_file("nv12-testpic", s.output, pic.get(), size);
}
