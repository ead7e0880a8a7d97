// Reading the shell's listing of exported variables, as `export` without arguments prints it:
// dash and busybox ash write export NAME='...' (a quote in the value as '"'"' or '\''), bash
// writes declare -x NAME="..." (export NAME="..." as sh), with \ before " \ $ and `.
#ifndef QUILLOX_EXPORT_LISTING_H
#define QUILLOX_EXPORT_LISTING_H

#include <string>

// Sets `value` to the value of the variable named exactly `name` in `listing`, with the quoting
// undone. A value may span lines; only a line that starts an entry names a variable. False when
// no entry gives `name` a value. Bash's $'...' form (for values with control characters) is not
// decoded.
bool exportedValue(const std::string &listing, const std::string &name, std::string *value);

#endif  // QUILLOX_EXPORT_LISTING_H
