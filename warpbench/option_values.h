// The values warpbench's option parser returns for its options: letters for those with a short
// form. They index RunSettings::seen_options.
#ifndef WARPBENCH_OPTION_VALUES_H
#define WARPBENCH_OPTION_VALUES_H

enum OptionValue {
  OPT_HELP = 'z',
  OPT_SILENT = 's',
  OPT_SET_FMT_VIDEO = 'v',
  OPT_SET_FMT_VIDEO_OUT = 'x',
  OPT_FPS = 'f',
  OPT_API_TEST = 't',
  OPT_STREAM_COUNT = 128,
  OPT_STREAM_TO = 129,
  OPT_STREAM_FROM = 130,
  OPT_MESH_FROM = 131,
  OPT_CALIB_INI_FROM = 132,
  OPT_AUTO_PARSE_INI = 133,
  OPT_MESH_DENSITY = 134,
  OPT_BORDER_MODE = 135,
  OPT_CROSS_BUF_MODE = 136,
  OPT_SET_BG_VAL = 137,
  OPT_OFFSET_X = 138,
  OPT_STRIDE = 139,
  OPT_OFFSET_X_OUT = 140,
  OPT_STRIDE_OUT = 141,
  OPT_STREAM_SKIP = 142,
};

#endif  // WARPBENCH_OPTION_VALUES_H
