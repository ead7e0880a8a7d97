// A built-in `strings`: the runs of printable text in a file that contain a given substring.
#ifndef QUILLOX_TEXT_SCAN_H
#define QUILLOX_TEXT_SCAN_H

#include <string>

// Scans `path` for runs of at least 4 printable characters (0x20..0x7E and tab), each run at
// most 4095 characters: a longer run is cut there, and the byte that would have been its 4096th
// is dropped. Appends each run containing `needle`, and "\n", to `output`: every such run with
// `all`, else only the first. Returns 1 on a match, else 0; when the file cannot be opened
// prints "open PATH error.\n" on standard error and returns 0. The results are those of a
// byte-by-byte scan; the file is read in blocks.
int strings(const char *path, const char *needle, std::string &output, bool all);

#endif  // QUILLOX_TEXT_SCAN_H
