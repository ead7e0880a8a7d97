// The JSON text of a dump request: the module named on the command line and its arguments, or
// the arguments of a uri.
#ifndef QUILLOX_REQUEST_JSON_H
#define QUILLOX_REQUEST_JSON_H

#include <string>
#include <vector>

// Appends `text` to `out` as the inside of a JSON string: '"' and '\' are escaped with a
// backslash, and the control characters below 0x20 and '#' (which separates the request's parts)
// as \u00xx; every other byte is copied as is.
void appendJsonEscaped(std::string *out, const std::string &text);

// Appends the request JSON to `out`: {"module":"M"} with `, "moduleArgs":[...]}` when there are
// arguments (module mode), or {"uriArgs":[...]} (uri mode). Nothing for no module and no
// arguments.
void appendRequestJson(std::string *out, const std::vector<std::string> &modules,
                       const std::vector<std::string> &args, bool moduleMode);

#endif  // QUILLOX_REQUEST_JSON_H
