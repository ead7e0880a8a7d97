// fec-mesh: writes correction mesh files from a calibration INI, the same meshes that the
// library generates online from the same parameters.
#include <errno.h>
#include <getopt.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "calibration_ini.h"
#include "camtools_version.h"
#include "fisheye_model.h"
#include "mesh_format.h"
#include "mesh_picture.h"
#include "tool_io.h"
#include "tool_png.h"

namespace {

const char kDefaultPrefix[] = "zm3318c";
// The values of the options without a letter.
enum {
  kVersionOption = 256,
  kPngOption,
};

// The exercises' name for a mesh file, never cut: a name cut short loses its level, and two
// levels would share one file. One the file system cannot hold is refused when it is created.
std::string mesh_file_name(const char *prefix, int in_w, int in_h, int out_w, int out_h,
                           int level) {
#define MESH_FILE_NAME "%s_fecMesh_src%dx%d_dst%dx%d_step%dx%d_level%03d.bin"
  int n = snprintf(nullptr, 0, MESH_FILE_NAME, prefix, in_w, in_h, out_w, out_h,
                   lenswarp::kMeshStepX, lenswarp::kMeshStepY, level);
  std::vector<char> name(n + 1);
  snprintf(name.data(), name.size(), MESH_FILE_NAME, prefix, in_w, in_h, out_w, out_h,
           lenswarp::kMeshStepX, lenswarp::kMeshStepY, level);
#undef MESH_FILE_NAME
  return name.data();
}

int usage() {
  fprintf(stderr,
          "usage: fec-mesh --calib-ini FILE --size WxH [--input-size WxH] [--level N]...\n"
          "                (--dir DIR [--prefix NAME] | --output FILE) [--png FILE.png]\n"
          "       fec-mesh --version\n"
          "  writes the mesh for an output of WxH pixels (input: --input-size, default the\n"
          "  same) at each correction level N (default: the INI's correct_level), to\n"
          "  DIR/NAME_fecMesh_srcWxH_dstWxH_step32x16_levelNNN.bin (NAME default %s)\n"
          "  or, for one level, to FILE; for one level, --png draws the mesh over its\n"
          "  output grid; prints the path of every file written\n",
          kDefaultPrefix);
  return 2;
}

bool parse_size(const char *text, int *width, int *height) {
  char tail;
  return sscanf(text, "%dx%d%c", width, height, &tail) == 2 && *width > 0 && *height > 0 &&
         *width <= 16384 && *height <= 16384;
}

}  // namespace

int main(int argc, char **argv) {
  static const struct option kOptions[] = {{"calib-ini", required_argument, nullptr, 'c'},
                                           {"size", required_argument, nullptr, 's'},
                                           {"input-size", required_argument, nullptr, 'i'},
                                           {"level", required_argument, nullptr, 'l'},
                                           {"dir", required_argument, nullptr, 'd'},
                                           {"prefix", required_argument, nullptr, 'p'},
                                           {"output", required_argument, nullptr, 'o'},
                                           {"png", required_argument, nullptr, kPngOption},
                                           {"help", no_argument, nullptr, 'h'},
                                           {"version", no_argument, nullptr, kVersionOption},
                                           {nullptr, 0, nullptr, 0}};
  const char *ini = nullptr, *dir = nullptr, *output = nullptr, *prefix = kDefaultPrefix;
  const char *png = nullptr;
  int out_w = 0, out_h = 0, in_w = 0, in_h = 0;
  std::vector<int> levels;
  for (int opt; (opt = getopt_long(argc, argv, "c:s:i:l:d:p:o:h", kOptions, nullptr)) != -1;) {
    long level;
    switch (opt) {
      case 'c':
        ini = optarg;
        break;
      case 's':
        if (!parse_size(optarg, &out_w, &out_h)) return usage();
        break;
      case 'i':
        if (!parse_size(optarg, &in_w, &in_h)) return usage();
        break;
      case 'l':
        if (!parse_number(optarg, 0, 1000000, &level)) return usage();
        levels.push_back((int)level);
        break;
      case 'd':
        dir = optarg;
        break;
      case 'p':
        prefix = optarg;
        break;
      case 'o':
        output = optarg;
        break;
      case kPngOption:
        png = optarg;
        break;
      case kVersionOption:
        printf("fec-mesh %s\n", CAMTOOLS_VERSION);
        return 0;
      default:
        return usage();
    }
  }
  if (optind != argc || ini == nullptr || out_w == 0 || (dir == nullptr) == (output == nullptr)) {
    return usage();
  }
  // One picture shows one level.
  if ((output != nullptr || png != nullptr) && levels.size() > 1) return usage();
  if (in_w == 0) {
    in_w = out_w;
    in_h = out_h;
  }

  FecOnlineConfig cfg = {};
  int err = lenswarp::load_calibration_ini(ini, &cfg);
  if (err != 0) {
    fprintf(stderr, "fec-mesh: cannot read %s: %s\n", ini, strerror(err));
    return 1;
  }
  if (levels.empty()) levels.push_back(cfg.correct_level);
  for (int level : levels) {
    cfg.correct_level = level;
    lenswarp::Mesh mesh;
    if (lenswarp::generate_mesh(cfg, in_w, in_h, out_w, out_h, &mesh) != 0) {
      fprintf(stderr, "fec-mesh: %s with level %d does not describe a correction: %s\n", ini, level,
              strerror(EINVAL));
      return 1;
    }
    std::string path;
    if (output != nullptr) {
      path = output;
    } else {
      path = std::string(dir) + "/" + mesh_file_name(prefix, in_w, in_h, out_w, out_h, level);
    }
    const std::vector<uint8_t> bytes = lenswarp::encode_mesh(mesh);
    if (!write_whole_file("fec-mesh", path.c_str(), bytes.data(), bytes.size())) return 1;
    printf("%s\n", path.c_str());
    if (png != nullptr) {
      const RgbPicture pic = draw_mesh(mesh, in_w, in_h, out_w, out_h);
      if (!write_rgb_png("fec-mesh", png, pic.width, pic.height, pic.rgb.data())) return 1;
      printf("%s\n", png);
    }
  }
  return 0;
}
