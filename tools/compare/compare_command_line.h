// fec-compare's command line.
#ifndef TOOLS_COMPARE_COMPARE_COMMAND_LINE_H
#define TOOLS_COMPARE_COMPARE_COMMAND_LINE_H

// What to compare, and how closely.
struct CompareSettings {
  long test_frame = 0;
  long ref_frame = 0;
  long tolerance = 0;
  const char *heatmap = nullptr;  // null: none
  long width = 0;
  long height = 0;
  const char *test_path = nullptr;
  const char *ref_path = nullptr;
};

enum CompareCommand { COMPARE_FRAMES, COMPARE_VERSION, COMPARE_BAD_USAGE };

// The usage text, which a bad command line (or --help) prints on standard error.
extern const char compare_usage_text[];

// Reads the arguments with getopt_long, whose own diagnostic goes to standard error, into
// `settings`: the frames to compare, --version, or COMPARE_BAD_USAGE for anything else.
CompareCommand parse_compare_command_line(int argc, char **argv, CompareSettings *settings);

#endif  // TOOLS_COMPARE_COMPARE_COMMAND_LINE_H
