// camtools-check's command line.
#ifndef CAMTOOLS_CHECK_COMMAND_LINE_H
#define CAMTOOLS_CHECK_COMMAND_LINE_H

enum CheckMode { MODE_TEXT, MODE_JSON, MODE_HELP, MODE_VERSION, MODE_BAD_USAGE };

// The help, which --help prints on standard output and a bad command line after its message on
// standard error.
extern const char usage_text[];

// What the arguments ask for: --help before --version before a run, with --json its results in
// JSON. MODE_BAD_USAGE after a line on standard error that names the first argument not taken.
CheckMode parse_command_line(int argc, char *const *argv);

#endif  // CAMTOOLS_CHECK_COMMAND_LINE_H
