// The record of warpbench's run settings, filled once from the command line (run_state.h holds
// the run's instance).
#ifndef WARPBENCH_RUN_SETTINGS_H
#define WARPBENCH_RUN_SETTINGS_H

#include <stdint.h>

struct RunSettings {
  // One flag per value the option parser can return, set as soon as that option is parsed.
  // `silent` is the flag of 's', so it takes effect from its place on the command line.
  unsigned char seen_options[256];
  bool api_test;
  int32_t fps;
  int32_t frame_period_ns;
  uint32_t width, height, pixelformat;
  uint32_t out_width, out_height, out_pixelformat;
  uint32_t stream_count;  // 0: endless
  uint32_t stream_skip;
  // The argument strings themselves, or null when absent.
  const char *stream_from;
  const char *stream_to;
  const char *mesh_from;
  const char *calib_ini_from;
  bool auto_parse_ini;
  int32_t border_mode, cross_buf_mode;
  uint32_t bg_y, bg_u, bg_v;
  int32_t offset_x, stride, out_offset_x, out_stride;
};

// Settings as they are before any option is parsed.
constexpr RunSettings default_run_settings() {
  RunSettings settings = {};
  settings.fps = 30;
  settings.frame_period_ns = 33333333;
  return settings;
}

#endif  // WARPBENCH_RUN_SETTINGS_H
