// nv12-testpic's command line.
#ifndef TOOLS_TESTPIC_TESTPIC_COMMAND_LINE_H
#define TOOLS_TESTPIC_TESTPIC_COMMAND_LINE_H

// The picture to write, and where.
struct TestpicSettings {
  const char *ini = nullptr;  // null: the flat pattern
  long samples = 4;           // per side of a pixel, through the lens
  long width = 0;
  long height = 0;
  const char *output = nullptr;
};

enum TestpicCommand { TESTPIC_WRITE, TESTPIC_VERSION, TESTPIC_BAD_USAGE };

// The usage text, which a bad command line (or --help) prints on standard error.
extern const char testpic_usage_text[];

// Reads the arguments with getopt_long, whose own diagnostic goes to standard error, into
// `settings`: the picture to write, --version, or TESTPIC_BAD_USAGE for anything else.
TestpicCommand parse_testpic_command_line(int argc, char **argv, TestpicSettings *settings);

#endif  // TOOLS_TESTPIC_TESTPIC_COMMAND_LINE_H
