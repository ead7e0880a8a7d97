// Building the correction job (FecConfig) from the run settings, and choosing the mesh source.
#ifndef WARPBENCH_FEC_JOB_H
#define WARPBENCH_FEC_JOB_H

#include <lenswarp_api.h>

#include "run_settings.h"

#define MESH_DIR_MAX 127  // characters of the directory part, without the terminator
#define MESH_NAME_MAX 63  // characters of the file-name part
#define INI_PATH_MAX 127  // characters of ini_path

// Zero-fills `cfg`, sets header and size and copies the picture and engine settings in.
void fill_fec_config(FecConfig *cfg, const RunSettings *settings);

// Splits at the last '/': `dir` gets everything up to and including it (or ""), `name` the rest.
// Returns 0, or, writing nothing, -1 when the directory part and -2 when the file-name part
// would not fit its field.
int split_mesh_path(const char *path, char dir[MESH_DIR_MAX + 1], char name[MESH_NAME_MAX + 1]);

enum MeshSourceResult {
  MESH_SOURCE_OK = 0,
  MESH_SOURCE_NO_CALIBRATION = -1,  // no mesh and no INI, or the INI could not be loaded
  MESH_SOURCE_BAD_PATH = -2,        // a path does not fit its record field
};

// Picks the mesh source (mesh file, INI path for the library, or online parameters from the INI)
// and fills the matching path fields of `cfg`; the online parameters are left to
// load_online_parameters. Asks the library nothing. Prints why it fails.
MeshSourceResult choose_mesh_source(FecConfig *cfg, const RunSettings *settings);

// For a job of online parameters (as choose_mesh_source left it), loads them from the INI through
// the library into `cfg` and echoes them; nothing for the other sources. MESH_SOURCE_OK, or
// MESH_SOURCE_NO_CALIBRATION after saying why.
MeshSourceResult load_online_parameters(FecConfig *cfg, const RunSettings *settings);

#endif  // WARPBENCH_FEC_JOB_H
