#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "checks.h"
#include "data_files.h"
#include "mesh_format.h"
#include "pixel_formats.h"
#include "tool_text.h"

namespace {

const char picture_hint[] =
    "put the 3840x2160 NV12 picture there, or set WARPBENCH_DATA_DIR to the directory that holds "
    "it (by default /data); on the simulated platform, nv12-testpic 3840 2160 FILE writes one";
const char mesh_hint[] =
    "put the lens's mesh file there, or set WARPBENCH_DATA_DIR to the directory that holds it (by "
    "default /data); on the simulated platform, fec-mesh --calib-ini INI --size 3840x2160 "
    "--level 0 --level 200 --dir DIR writes both";

const char unreadable_hint[] =
    "the user who runs warpbench must be able to read it: see ls -l on the file and its "
    "directories, and give that user read permission (chmod, chown or chgrp)";

struct DataFile {
  const char *name;
  uint64_t size;
  const char *what;  // what that size holds
  const char *hint;
};

// The names hold their geometry: a 4K picture, and meshes from 3840x2160 to 3840x2160 in steps of
// 32x16, of the size the lens room gives (the library's calFecMeshsize, which this check cannot
// call, says the same).
const DataFile picture = {DEFAULT_INPUT_FILE, nv12_frame_bytes(3840, 2160),
                          "one 3840x2160 NV12 picture", picture_hint};
const DataFile mesh_level0 = {LEVEL000_MESH_FILE, lenswarp::mesh_geometry(3840, 2160).bytes(),
                              "a 3840x2160 mesh in steps of 32x16", mesh_hint};
const DataFile mesh_level200 = {LEVEL200_MESH_FILE, lenswarp::mesh_geometry(3840, 2160).bytes(),
                                "a 3840x2160 mesh in steps of 32x16", mesh_hint};

CheckResult check_data_file(const DataFile *file) {
  // Where warpbench looks for it, honouring WARPBENCH_DATA_DIR the same way.
  const char *path = data_file_path(file->name);
  struct stat st;
  if (stat(path, &st) != 0) {
    int err = errno;
    return {VERDICT_FAIL, string_printf("%s: %s", path, strerror(err)), file->hint};
  }
  if (!S_ISREG(st.st_mode)) {
    return {VERDICT_FAIL, string_printf("%s is not a regular file", path), file->hint};
  }
  // As warpbench opens it: permissions, an ACL or a security module can refuse what stat shows.
  // A regular file opens without waiting and without side effects.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    return {VERDICT_FAIL, string_printf("%s: opening it for reading: %s", path, strerror(err)),
            unreadable_hint};
  }
  close(fd);
  if ((uint64_t)st.st_size != file->size) {
    return {
        VERDICT_FAIL,
        string_printf("%s has %llu bytes, not the %llu of %s", path, (unsigned long long)st.st_size,
                      (unsigned long long)file->size, file->what),
        file->hint};
  }
  return {VERDICT_OK,
          string_printf("%s: %llu bytes, %s", path, (unsigned long long)file->size, file->what),
          ""};
}

}  // namespace

CheckResult check_input_picture() {
  return check_data_file(&picture);
}

CheckResult check_mesh_level0() {
  return check_data_file(&mesh_level0);
}

CheckResult check_mesh_level200() {
  return check_data_file(&mesh_level200);
}
