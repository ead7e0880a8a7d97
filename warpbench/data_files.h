// The fixed data files of a run: the default input picture and the exercises' two mesh files.
// They live in "/data" on the board; WARPBENCH_DATA_DIR names another directory for them.
#ifndef WARPBENCH_DATA_FILES_H
#define WARPBENCH_DATA_FILES_H

// The full path of one of the fixed files, in the directory in force. The result lives for the
// process (the same pointer for the same name).
const char *data_file_path(const char *name);

#define DEFAULT_INPUT_FILE "imx415_4k_nv12.yuv"
#define LEVEL000_MESH_FILE "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level000.bin"
#define LEVEL200_MESH_FILE "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level200.bin"

#endif  // WARPBENCH_DATA_FILES_H
