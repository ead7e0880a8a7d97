#include "request_json.h"

#include "string_format.h"

void appendJsonEscaped(std::string *out, const std::string &text) {
  for (char c : text) {
    unsigned char byte = (unsigned char)c;
    if (c == '"' || c == '\\') {
      *out += '\\';
      *out += c;
    } else if (byte < 0x20 || c == '#') {
      StringAppendF(out, "\\u%04x", byte);
    } else {
      *out += c;
    }
  }
}

void appendRequestJson(std::string *out, const std::vector<std::string> &modules,
                       const std::vector<std::string> &args, bool moduleMode) {
  if (!modules.empty()) {
    *out += "{\"";
    *out += "module";
    *out += "\":\"";
    appendJsonEscaped(out, modules[0]);
    *out += "\"";
    if (args.empty()) *out += "}";
  }
  if (args.empty()) return;
  *out += moduleMode ? ", \"moduleArgs\":[" : "{\"uriArgs\":[";
  for (size_t i = 0; i < args.size(); ++i) {
    *out += "\"";
    appendJsonEscaped(out, args[i]);
    *out += "\"";
    *out += i + 1 < args.size() ? "," : "]}";
  }
}
