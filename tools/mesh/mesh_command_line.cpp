#include "mesh_command_line.h"

#include <getopt.h>
#include <stdio.h>

#include "tool_io.h"

namespace {

const char kDefaultPrefix[] = "zm3318c";
// The values of the options without a letter.
enum {
  kVersionOption = 256,
  kPngOption,
};

bool parse_size(const char *text, int *width, int *height) {
  char tail;
  return sscanf(text, "%dx%d%c", width, height, &tail) == 2 && *width > 0 && *height > 0 &&
         *width <= 16384 && *height <= 16384;
}

}  // namespace

void print_mesh_usage() {
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
}

MeshCommand parse_mesh_command_line(int argc, char **argv, MeshSettings *settings) {
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
  MeshSettings &s = *settings;
  s.prefix = kDefaultPrefix;
  for (int opt; (opt = getopt_long(argc, argv, "c:s:i:l:d:p:o:h", kOptions, nullptr)) != -1;) {
    long level;
    switch (opt) {
      case 'c':
        s.ini = optarg;
        break;
      case 's':
        if (!parse_size(optarg, &s.out_width, &s.out_height)) return MESH_BAD_USAGE;
        break;
      case 'i':
        if (!parse_size(optarg, &s.in_width, &s.in_height)) return MESH_BAD_USAGE;
        break;
      case 'l':
        if (!parse_number(optarg, 0, 1000000, &level)) return MESH_BAD_USAGE;
        s.levels.push_back((int)level);
        break;
      case 'd':
        s.dir = optarg;
        break;
      case 'p':
        s.prefix = optarg;
        break;
      case 'o':
        s.output = optarg;
        break;
      case kPngOption:
        s.png = optarg;
        break;
      case kVersionOption:
        return MESH_VERSION;
      default:
        return MESH_BAD_USAGE;
    }
  }
  if (optind != argc || s.ini == nullptr || s.out_width == 0 ||
      (s.dir == nullptr) == (s.output == nullptr)) {
    return MESH_BAD_USAGE;
  }
  // One picture shows one level.
  if ((s.output != nullptr || s.png != nullptr) && s.levels.size() > 1) return MESH_BAD_USAGE;
  if (s.in_width == 0) {
    s.in_width = s.out_width;
    s.in_height = s.out_height;
  }
  return MESH_WRITE;
}
