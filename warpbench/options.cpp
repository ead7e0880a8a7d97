#include "options.h"

#include <ctype.h>
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "messages.h"
#include "run_state.h"

namespace {

const struct option kLongOptions[] = {
    {"help", no_argument, nullptr, OPT_HELP},
    {"silent", no_argument, nullptr, OPT_SILENT},
    {"set-fmt-video", required_argument, nullptr, OPT_SET_FMT_VIDEO},
    {"set-fmt-video-out", required_argument, nullptr, OPT_SET_FMT_VIDEO_OUT},
    {"stream-count", required_argument, nullptr, OPT_STREAM_COUNT},
    {"stream-to", required_argument, nullptr, OPT_STREAM_TO},
    {"stream-from", required_argument, nullptr, OPT_STREAM_FROM},
    {"mesh-from", required_argument, nullptr, OPT_MESH_FROM},
    {"calib-ini-from", required_argument, nullptr, OPT_CALIB_INI_FROM},
    {"auto-parse-ini", required_argument, nullptr, OPT_AUTO_PARSE_INI},
    {"mesh-density", required_argument, nullptr, OPT_MESH_DENSITY},
    {"border-mode", required_argument, nullptr, OPT_BORDER_MODE},
    {"cross-buf-mode", required_argument, nullptr, OPT_CROSS_BUF_MODE},
    {"set-bg-val", required_argument, nullptr, OPT_SET_BG_VAL},
    {"fps", required_argument, nullptr, OPT_FPS},
    {"api-test", no_argument, nullptr, OPT_API_TEST},
    {"stream-skip", required_argument, nullptr, OPT_STREAM_SKIP},
    {"offset-x", required_argument, nullptr, OPT_OFFSET_X},
    {"stride", required_argument, nullptr, OPT_STRIDE},
    {"offset-x-out", required_argument, nullptr, OPT_OFFSET_X_OUT},
    {"stride-out", required_argument, nullptr, OPT_STRIDE_OUT},
    {nullptr, 0, nullptr, 0},
};

const char kUsage[] =
    "\n"
    "General/Common options:\n"
    "  -v, --set-fmt-video\n"
    "  -x, --set-fmt-video-out "
    "width=<w>,height=<h>,pixelformat=<pf>,field=<f>,colorspace=<c>,\n"
    "  --stream-count <count>\n"
    "                     stream <count> buffers. The default is to keep streaming\n"
    "                     forever. This count does not include the number of initial\n"
    "                     skipped buffers as is passed by --stream-skip.\n"
    "  --stream-skip <count>\n"
    "                     skip the first <count> buffers. The default is 0.\n"
    "  --stream-from <file> stream from this file.\n"
    "  --stream-to <file>\n"
    "                     stream to this file. The default is to discard the data.\n"
    "  --mesh-from <file> mesh from this file.\n"
    "  --calib-ini-from <file> calib from this ini.\n"
    "  --auto-parse-ini <val> auto parse ini.\n"
    "  --mesh-density <val> mesh density.\n"
    "                       0: 32x16. 1: 16x8. 2: 4x4\n"
    "  --border-mode <val> border mode.\n"
    "                       0: fill with bg_value. 1: copy with the nearest pixel.\n"
    "  --cross-buf-mode <val> cross buffer mode\n"
    "                       0: fill with bg_value. 1: copy with the nearest pixel.\n"
    "  --set-bg-val <val> y=<y>,u=<u>,v=<v>\n"
    "                     fill with the bg_val.\n"
    "  -s, --silent       subpress debug log.\n"
    "  -f, --fps <val>    set fps(1-1000).\n"
    "  -t, --api-test     enable api test.\n"
    "  --offset-x <val>      set offset_x to video.\n"
    "  --stride <val>       set stride to video.\n"
    "  --offset-x-out <val>      set out_offset_x to video out.\n"
    "  --stride-out <val>       set out_stride to video out.\n"
    "  --api-test <val> enable api test.\n"
    "  -h, --help         display this help message.";

const char *const kFmtKeys[] = {"width", "height", "pixelformat", nullptr};
const char *const kBgKeys[] = {"y", "u", "v", nullptr};

uint32_t fourcc(const char *s) {
  return (uint32_t)(unsigned char)s[0] | (uint32_t)(unsigned char)s[1] << 8 |
         (uint32_t)(unsigned char)s[2] << 16 | (uint32_t)(unsigned char)s[3] << 24;
}

}  // namespace

const char *short_option_letters() {
  // Room for every entry with two colons, plus the terminator.
  static char letters[3 * (sizeof(kLongOptions) / sizeof(kLongOptions[0])) + 1];
  if (letters[0] != '\0') return letters;
  size_t n = 0;
  for (const struct option *o = kLongOptions; o->name != nullptr; ++o) {
    if (o->val > 0xff || !isalpha(o->val)) continue;
    letters[n++] = (char)o->val;
    if (o->has_arg == required_argument) letters[n++] = ':';
    if (o->has_arg == optional_argument) {
      letters[n++] = ':';
      letters[n++] = ':';
    }
  }
  letters[n] = '\0';
  return letters;
}

void print_usage() {
  puts(kUsage);
}

namespace warpbench {

int getsubopt(char **cursor, const char *const *keys, char **value) {
  char *piece = *cursor;
  char *end = strchr(piece, ',');
  if (end != nullptr) {
    *end = '\0';
    *cursor = end + 1;
  } else {
    *cursor = piece + strlen(piece);
  }
  *value = nullptr;
  for (int i = 0; keys[i] != nullptr; ++i) {
    size_t len = strlen(keys[i]);
    if (strncmp(piece, keys[i], len) != 0) continue;
    if (piece[len] == '=') {
      *value = piece + len + 1;
      return i;
    }
    if (piece[len] == '\0') return i;
  }
  return -1;
}

}  // namespace warpbench

int parse_subopt(char **cursor, const char *const *keys, char **value) {
  int index = warpbench::getsubopt(cursor, keys, value);
  if (index == -1) {
    fprintf(stderr, "Invalid suboptions specified\n");
    return -1;
  }
  if (*value == nullptr) {
    fprintf(stderr, "No value given to suboption <%s>\n", keys[index]);
    return -1;
  }
  return index;
}

int pixelformat_code(const char *value, uint32_t *code) {
  size_t len = strlen(value);
  if (len == 7 && strcmp(value + 4, "-BE") == 0) {
    *code = fourcc(value) | 0x80000000u;
  } else if (len == 4) {
    *code = fourcc(value);
  } else if (isdigit((unsigned char)value[0])) {
    *code = (uint32_t)strtol(value, nullptr, 0);
  } else {
    return -1;
  }
  return 0;
}

int parse_fmt(char *str, uint32_t *width, uint32_t *height, uint32_t *pixelformat) {
  char *cursor = str;
  while (*cursor != '\0') {
    char *value;
    int key = parse_subopt(&cursor, kFmtKeys, &value);
    switch (key) {
      case 0:
        *width = (uint32_t)strtoul(value, nullptr, 0);
        break;
      case 1:
        *height = (uint32_t)strtoul(value, nullptr, 0);
        break;
      case 2:
        if (pixelformat_code(value, pixelformat) != 0) {
          fprintf(stderr, "The pixelformat '%s' is invalid\n", value);
          return PARSE_FMT_BAD_PIXELFORMAT;
        }
        break;
      default:
        return -1;
    }
  }
  return 0;
}

int parse_bg_val(char *str, uint32_t *y, uint32_t *u, uint32_t *v) {
  uint32_t *const outputs[] = {y, u, v};
  char *cursor = str;
  while (*cursor != '\0') {
    char *value;
    int key = parse_subopt(&cursor, kBgKeys, &value);
    if (key < 0) return -1;
    *outputs[key] = (uint32_t)strtoul(value, nullptr, 0);
  }
  return 0;
}

int32_t frame_period_for(int32_t fps) {
  return fps == 0 ? 0 : 1000000000 / fps;
}

namespace {

// An option that only stores its argument in a field, as it is or converted.
template <typename Field>
struct StoringOption {
  int value;
  Field RunSettings::*field;
};

const StoringOption<const char *> kPathOptions[] = {
    {OPT_STREAM_TO, &RunSettings::stream_to},
    {OPT_STREAM_FROM, &RunSettings::stream_from},
    {OPT_MESH_FROM, &RunSettings::mesh_from},
    {OPT_CALIB_INI_FROM, &RunSettings::calib_ini_from},
};
const StoringOption<int32_t> kAtoiOptions[] = {
    {OPT_BORDER_MODE, &RunSettings::border_mode},
    {OPT_CROSS_BUF_MODE, &RunSettings::cross_buf_mode},
    {OPT_OFFSET_X, &RunSettings::offset_x},
    {OPT_STRIDE, &RunSettings::stride},
    {OPT_OFFSET_X_OUT, &RunSettings::out_offset_x},
    {OPT_STRIDE_OUT, &RunSettings::out_stride},
};
const StoringOption<uint32_t> kCountOptions[] = {
    {OPT_STREAM_COUNT, &RunSettings::stream_count},
    {OPT_STREAM_SKIP, &RunSettings::stream_skip},
};

// Stores convert(arg) in the field that `table` names for option `c`; false when it names none.
template <typename Field, size_t N, typename Convert>
bool store(const StoringOption<Field> (&table)[N], RunSettings *s, int c, const char *arg,
           Convert convert) {
  for (const StoringOption<Field> &o : table) {
    if (o.value != c) continue;
    s->*o.field = convert(arg);
    return true;
  }
  return false;
}

// Paths are the argument strings themselves; numbers are converted as the standard library does.
bool store_plain_option(RunSettings *s, int c, const char *arg) {
  return store(kPathOptions, s, c, arg, [](const char *a) { return a; }) ||
         store(kAtoiOptions, s, c, arg, atoi) || store(kCountOptions, s, c, arg, [](const char *a) {
           return (uint32_t)strtoul(a, nullptr, 0);
         });
}

// The exit status after a -v/-x argument that parse_fmt refused with `result`, or -1 when it
// parsed. A bad pixel format has been explained already and ends without the usage.
int status_after_fmt(int result) {
  if (result == 0) return -1;
  if (result != PARSE_FMT_BAD_PIXELFORMAT) print_usage();
  return 1;
}

}  // namespace

int parse_command_line(int argc, char **argv) {
  RunSettings *s = &run_settings;
  const char *letters = short_option_letters();
  optind = 0;  // full re-initialisation of the parser, so it can run more than once
  int c;
  while ((c = getopt_long(argc, argv, letters, kLongOptions, nullptr)) != -1) {
    s->seen_options[c & 0xff] = 1;
    if (store_plain_option(s, c, optarg)) continue;
    switch (c) {
      case OPT_HELP:
        print_usage();
        return 0;
      case OPT_SET_FMT_VIDEO: {
        int status = status_after_fmt(parse_fmt(optarg, &s->width, &s->height, &s->pixelformat));
        if (status >= 0) return status;
        break;
      }
      case OPT_SET_FMT_VIDEO_OUT: {
        int status =
            status_after_fmt(parse_fmt(optarg, &s->out_width, &s->out_height, &s->out_pixelformat));
        if (status >= 0) return status;
        break;
      }
      case OPT_AUTO_PARSE_INI:
        s->auto_parse_ini = strtoul(optarg, nullptr, 0) != 0;
        break;
      case OPT_SET_BG_VAL:
        if (parse_bg_val(optarg, &s->bg_y, &s->bg_u, &s->bg_v) != 0) {
          say(stderr, "Failed to parse bg_val\n");
        }
        break;
      case OPT_FPS:
        s->fps = atoi(optarg);
        if (s->fps < 1 || s->fps > 1000) say(stderr, "Invalid fps %d\n", s->fps);
        s->frame_period_ns = frame_period_for(s->fps);
        break;
      case OPT_API_TEST:
        s->api_test = true;
        break;
      default:  // 's', 'mesh-density' and the parser's own error value
        break;
    }
  }
  if (optind < argc) {
    say(stderr, "unknown arguments: ");
    for (int i = optind; i < argc; ++i) say(stderr, "%s ", argv[i]);
    say(stderr, "\n");
    print_usage();
    return 1;
  }
  return -1;
}

bool silent() {
  return run_settings.seen_options[OPT_SILENT] != 0;
}
