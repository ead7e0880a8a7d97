// nv12-topng's command line.
#ifndef TOOLS_TOPNG_TOPNG_COMMAND_LINE_H
#define TOOLS_TOPNG_TOPNG_COMMAND_LINE_H

// Which frame to convert, how, and where to.
struct TopngSettings {
  long frame = 0;
  long scale = 1;
  long width = 0;
  long height = 0;
  const char *input = nullptr;
  const char *output = nullptr;
};

enum TopngCommand { TOPNG_CONVERT, TOPNG_VERSION, TOPNG_BAD_USAGE };

// The usage text, which a bad command line (or --help) prints on standard error.
extern const char topng_usage_text[];

// Reads the arguments with getopt_long, whose own diagnostic goes to standard error, into
// `settings`: the frame to convert, --version, or TOPNG_BAD_USAGE for anything else.
TopngCommand parse_topng_command_line(int argc, char **argv, TopngSettings *settings);

#endif  // TOOLS_TOPNG_TOPNG_COMMAND_LINE_H
