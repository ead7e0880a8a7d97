// fec-mesh's command line.
#ifndef TOOLS_MESH_MESH_COMMAND_LINE_H
#define TOOLS_MESH_MESH_COMMAND_LINE_H

#include <vector>

// Which meshes to write, and where.
struct MeshSettings {
  const char *ini = nullptr;
  const char *dir = nullptr;     // null with an output file
  const char *output = nullptr;  // null with a directory
  const char *prefix = nullptr;  // of the names in the directory
  const char *png = nullptr;     // null: no picture
  int out_width = 0, out_height = 0;
  int in_width = 0, in_height = 0;  // the output's size unless given
  std::vector<int> levels;          // empty: the INI's own
};

enum MeshCommand { MESH_WRITE, MESH_VERSION, MESH_BAD_USAGE };

// Prints the usage text, which a bad command line (or --help) shows, on standard error.
void print_mesh_usage();

// Reads the arguments with getopt_long, whose own diagnostic goes to standard error, into
// `settings`: the meshes to write, --version, or MESH_BAD_USAGE for anything else, such as both
// or neither of a directory and an output file, or several levels for one file or picture.
MeshCommand parse_mesh_command_line(int argc, char **argv, MeshSettings *settings);

#endif  // TOOLS_MESH_MESH_COMMAND_LINE_H
