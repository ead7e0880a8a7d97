#include "fec_job.h"

#include <errno.h>
// The records built here go to libLenswarp by address: on the 32-bit target the build stops at
// this header if the library header in use lays them out otherwise than warpbench expects.
#include <lenswarp_api_layout.h>
#include <stdio.h>
#include <string.h>

#include "messages.h"

void fill_fec_config(FecConfig *cfg, const RunSettings *s) {
  memset(cfg, 0, sizeof(*cfg));
  cfg->header = FEC_CONFIG_HEADER;
  cfg->size = sizeof(FecConfig);
  cfg->width = s->width;
  cfg->height = s->height;
  cfg->out_width = s->out_width;
  cfg->out_height = s->out_height;
  cfg->pixelformat = s->pixelformat;
  cfg->out_pixelformat = s->out_pixelformat;
  cfg->border_mode = s->border_mode;
  cfg->cross_buf_mode = s->cross_buf_mode;
  cfg->bg_y = s->bg_y;
  cfg->bg_u = s->bg_u;
  cfg->bg_v = s->bg_v;
  cfg->offset_x = s->offset_x;
  cfg->out_offset_x = s->out_offset_x;
  cfg->stride = s->stride;
  cfg->out_stride = s->out_stride;
}

int split_mesh_path(const char *path, char dir[MESH_DIR_MAX + 1], char name[MESH_NAME_MAX + 1]) {
  const char *slash = strrchr(path, '/');
  size_t dir_len = slash == nullptr ? 0 : (size_t)(slash - path) + 1;
  size_t name_len = strlen(path) - dir_len;
  if (dir_len > MESH_DIR_MAX) return -1;
  if (name_len > MESH_NAME_MAX) return -2;
  memcpy(dir, path, dir_len);
  dir[dir_len] = '\0';
  memcpy(name, path + dir_len, name_len);
  name[name_len] = '\0';
  return 0;
}

namespace {

// The path refusals are command-line errors, so like the other ones they ignore `silent`.
MeshSourceResult refuse_mesh_path(const char *path, int split_result) {
  if (split_result == -1) {
    fprintf(stderr, "Mesh path %s refused: its directory part is longer than %d characters\n", path,
            MESH_DIR_MAX);
  } else {
    fprintf(stderr, "Mesh path %s refused: its file name is longer than %d characters\n", path,
            MESH_NAME_MAX);
  }
  return MESH_SOURCE_BAD_PATH;
}

void echo_online_config(const char *ini_path, const FecOnlineConfig *o) {
  say(stdout, "calib_ini_from: %s\n", ini_path);
  say(stdout, "calib_width: %d\n", o->calib_width);
  say(stdout, "light_center: %.4f %.4f\n", o->light_center[0], o->light_center[1]);
  say(stdout, "coeff: %.16f %.16f %.16f %.16f\n", o->coeff[0], o->coeff[1], o->coeff[2],
      o->coeff[3]);
  say(stdout, "calib_level_maxLimit: %d\n", o->calib_level_maxLimit);
  say(stdout, "correct_level: %d\n", o->correct_level);
  say(stdout, "direction: %d\n", o->direction);
  say(stdout, "style: %d\n", o->style);
}

}  // namespace

MeshSourceResult choose_mesh_source(FecConfig *cfg, const RunSettings *s) {
  if (s->mesh_from != nullptr) {
    int split = split_mesh_path(s->mesh_from, cfg->mesh_dir, cfg->mesh_name);
    if (split != 0) return refuse_mesh_path(s->mesh_from, split);
    cfg->mesh_mode = FEC_MESH_MODE_FILE;
    return MESH_SOURCE_OK;
  }
  if (s->calib_ini_from == nullptr) {
    say(stderr, "Please specify the calibration file.\n");
    return MESH_SOURCE_NO_CALIBRATION;
  }
  if (s->auto_parse_ini) {
    if (strlen(s->calib_ini_from) > INI_PATH_MAX) {
      fprintf(stderr, "Calibration INI path %s refused: the library takes at most %d characters\n",
              s->calib_ini_from, INI_PATH_MAX);
      return MESH_SOURCE_BAD_PATH;
    }
    cfg->mesh_mode = FEC_MESH_MODE_INI;
    // Zero-padded to the field's end; the length check above leaves room for the terminator.
    strncpy(cfg->ini_path, s->calib_ini_from, sizeof(cfg->ini_path) - 1);
    cfg->ini_path[sizeof(cfg->ini_path) - 1] = '\0';
    return MESH_SOURCE_OK;
  }
  cfg->mesh_mode = FEC_MESH_MODE_ONLINE;
  return MESH_SOURCE_OK;
}

MeshSourceResult load_online_parameters(FecConfig *cfg, const RunSettings *s) {
  if (cfg->mesh_mode != FEC_MESH_MODE_ONLINE) return MESH_SOURCE_OK;
  FecOnlineConfig online;
  memset(&online, 0, sizeof(online));
  if (tq_lenswarp_api_load_online_config_from_ini(s->calib_ini_from, &online) != 0) {
    say(stderr, "Failed to load online config from ini file\n");
    return MESH_SOURCE_NO_CALIBRATION;
  }
  cfg->online = online;
  echo_online_config(s->calib_ini_from, &online);
  return MESH_SOURCE_OK;
}
