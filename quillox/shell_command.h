// Running a shell command and collecting its standard output.
#ifndef QUILLOX_SHELL_COMMAND_H
#define QUILLOX_SHELL_COMMAND_H

#include <string>

// Runs `cmd` through popen and appends its output lines to `output`: every line with `all`,
// else only the first. A line is one read of at most 4095 bytes, so a longer line counts more
// than once. Returns the number of lines appended; 0 when the command cannot be started. The
// command's exit status and standard error are not looked at. It starts with SIGPIPE's default
// action, whatever quillox's own is, so that it ends quietly when its output is no longer read.
int executeCMD(const char *cmd, std::string &output, bool all);

// `text` as one word for the shell: in single quotes, each single quote written as '\''.
std::string shellQuote(const std::string &text);

#endif  // QUILLOX_SHELL_COMMAND_H
