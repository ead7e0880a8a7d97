// fec-mesh: writes correction mesh files from a calibration INI, the same meshes that the
// library generates online from the same parameters.
#include <stdio.h>

#include "camtools_version.h"
#include "mesh_command_line.h"
#include "mesh_files.h"

int main(int argc, char **argv) {
  MeshSettings settings;
  switch (parse_mesh_command_line(argc, argv, &settings)) {
    case MESH_VERSION:
      printf("fec-mesh %s\n", CAMTOOLS_VERSION);
      return 0;
    case MESH_BAD_USAGE:
      print_mesh_usage();
      return 2;
    case MESH_WRITE:
      break;
  }
  return write_mesh_files(settings) ? 0 : 1;
}
