#include "mesh_files.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "calibration_ini.h"
#include "fisheye_model.h"
#include "mesh_format.h"
#include "mesh_picture.h"
#include "tool_io.h"
#include "tool_png.h"
#include "tool_text.h"

namespace {

// The exercises' name for a mesh file, never cut: a name cut short would lose its level, and two
// levels would share one file. One the file system cannot hold is refused when it is created.
std::string mesh_file_name(const char *prefix, int in_w, int in_h, int out_w, int out_h,
                           int level) {
  return string_printf("%s_fecMesh_src%dx%d_dst%dx%d_step%dx%d_level%03d.bin", prefix, in_w, in_h,
                       out_w, out_h, lenswarp::kMeshStepX, lenswarp::kMeshStepY, level);
}

}  // namespace

bool write_mesh_files(const MeshSettings &s) {
  FecOnlineConfig cfg = {};
  int err = lenswarp::load_calibration_ini(s.ini, &cfg);
  if (err != 0) {
    fprintf(stderr, "fec-mesh: cannot read %s: %s\n", s.ini, strerror(err));
    return false;
  }
  std::vector<int> levels = s.levels;
  if (levels.empty()) levels.push_back(cfg.correct_level);
  for (int level : levels) {
    cfg.correct_level = level;
    lenswarp::Mesh mesh;
    if (lenswarp::generate_mesh(cfg, s.in_width, s.in_height, s.out_width, s.out_height, &mesh) !=
        0) {
      fprintf(stderr, "fec-mesh: %s with level %d does not describe a correction: %s\n", s.ini,
              level, strerror(EINVAL));
      return false;
    }
    const std::string path = s.output != nullptr
                                 ? std::string(s.output)
                                 : std::string(s.dir) + "/" +
                                       mesh_file_name(s.prefix, s.in_width, s.in_height,
                                                      s.out_width, s.out_height, level);
    const std::vector<uint8_t> bytes = lenswarp::encode_mesh(mesh);
    if (!write_whole_file("fec-mesh", path.c_str(), bytes.data(), bytes.size())) return false;
    printf("%s\n", path.c_str());
    if (s.png != nullptr) {
      const RgbPicture pic = draw_mesh(mesh, s.in_width, s.in_height, s.out_width, s.out_height);
      if (!write_rgb_png("fec-mesh", s.png, pic.width, pic.height, pic.rgb.data())) return false;
      printf("%s\n", s.png);
    }
  }
  return true;
}
