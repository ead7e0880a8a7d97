// Decoding of a dump request: message type 5 with "/cam/tqzel/URI#JSON#" in its payload.
#ifndef SIM_TQZEL_REQUEST_H
#define SIM_TQZEL_REQUEST_H

#include <string>
#include <vector>

struct DumpRequest {
  bool valid = false;
  std::string error;  // why it is not valid
  std::string uri;
  std::string json;  // as received
  bool hasModule = false;
  std::string module;
  std::vector<std::string> moduleArgs;
  std::vector<std::string> uriArgs;
};

// Decodes the payload of a message of `type`; the text ends at the first zero byte.
DumpRequest decodeRequest(unsigned int type, const std::string &payload);

#endif  // SIM_TQZEL_REQUEST_H
