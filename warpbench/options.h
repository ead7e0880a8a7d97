// The command line of warpbench: the long-option table, suboptions and the usage text.
#ifndef WARPBENCH_OPTIONS_H
#define WARPBENCH_OPTIONS_H

#include <stdint.h>

#include "option_values.h"

// Fills run_settings (run_state.h) from the command line, in command-line order. Returns -1 when
// the run goes on, else the status to end the process with, its messages already printed: 0 for
// help, 1 for a failed -v/-x suboption list, an invalid pixel format or leftover arguments.
int parse_command_line(int argc, char **argv);

// Whether -s / --silent has been parsed so far: the seen flag of its value.
bool silent();

// The short-option letters derived from the long-option table ("zsv:x:f:t").
const char *short_option_letters();

// Prints the usage text on standard output, followed by a newline.
void print_usage();

// The C library declares a getsubopt of its own with the same arguments; the namespace keeps the
// two apart.
namespace warpbench {
// Cuts the next ','-separated piece off *cursor and matches it against `keys` (null-ended).
// Returns the key's index with *value at the text after '=' (or null without '='), or -1.
int getsubopt(char **cursor, const char *const *keys, char **value);
}  // namespace warpbench

// getsubopt that explains its failures on standard error: -1 for an unknown key or a key
// without a value, else the key's index.
int parse_subopt(char **cursor, const char *const *keys, char **value);

// What parse_fmt returns for a pixel format that is no code, after saying so on standard error.
constexpr int PARSE_FMT_BAD_PIXELFORMAT = -2;

// "width=..,height=..,pixelformat=.." into the three outputs: 0, -1 on a failed suboption, or
// PARSE_FMT_BAD_PIXELFORMAT. It stops at the first failure; values stored before it stay.
int parse_fmt(char *str, uint32_t *width, uint32_t *height, uint32_t *pixelformat);

// "y=..,u=..,v=.." into the three outputs: 0, or -1 on a failed suboption (values stored before
// it stay).
int parse_bg_val(char *str, uint32_t *y, uint32_t *u, uint32_t *v);

// The pixel-format code for a "pixelformat" value, or -1 when the value is no code.
int pixelformat_code(const char *value, uint32_t *code);

// 1000000000 / fps, or 0 when fps is 0 (frames then run unpaced).
int32_t frame_period_for(int32_t fps);

#endif  // WARPBENCH_OPTIONS_H
