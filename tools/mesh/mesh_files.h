// The mesh files of a calibration INI, and their pictures.
#ifndef TOOLS_MESH_MESH_FILES_H
#define TOOLS_MESH_MESH_FILES_H

#include "mesh_command_line.h"

// Writes the mesh of each level of `settings` in their order (in a directory, under the names
// warpbench's exercises look for) and its picture when asked, printing each path on standard
// output. False after a message on standard error at the first that fails; the files written
// before it stay, and a file not written whole is removed.
bool write_mesh_files(const MeshSettings &settings);

#endif  // TOOLS_MESH_MESH_FILES_H
