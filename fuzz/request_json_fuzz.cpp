// quillox's request from its command line. The first byte chooses module or uri mode; the rest,
// cut at every NUL, is the module name (module mode) and its arguments. Only the shapes quillox
// builds are made: a module in module mode, none in uri mode.
#include <stdint.h>
#include <stdlib.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "request_json.h"
#include "vantrix.h"

namespace {

using Words = std::vector<std::string>;

bool ascii(const Words &words) {
  for (const std::string &w : words) {
    for (char c : w) {
      if ((unsigned char)c >= 0x80) return false;
    }
  }
  return true;
}

// The request must be JSON that gives back exactly the words it was made of. Only ASCII words
// are checked: other bytes go out as they are, so the text is JSON only where they are UTF-8.
void check_round_trip(const std::string &json, const Words &modules, const Words &args,
                      bool moduleMode) {
  if (!ascii(modules) || !ascii(args)) return;
  if (modules.empty() && args.empty()) {
    if (!json.empty()) abort();
    return;
  }
  nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
  if (parsed.is_discarded()) abort();
  if (!modules.empty() && parsed["module"] != modules[0]) abort();
  if (!args.empty() && parsed[moduleMode ? "moduleArgs" : "uriArgs"] != args) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const bool moduleMode = (data[0] & 1) == 0;
  Words args = split_at_nul(data + 1, size - 1);
  Words modules;
  if (moduleMode) {
    modules.push_back(args.empty() ? "all" : args.front());
    if (!args.empty()) args.erase(args.begin());
  }
  std::string json;
  appendRequestJson(&json, modules, args, moduleMode);
  check_round_trip(json, modules, args, moduleMode);

  if (moduleMode) {
    // As quillox runs it: the request text must fit its fixed-size message whole, with '#' only
    // as the separator after the uri name and at the end; with no service connected the send is
    // refused after the message is made.
    Vantrix vantrix;
    vantrix.generateJson(modules, args);
    if (vantrix.request() != json) abort();
    if (vantrix.generateRequest()) {
      const std::string &text = vantrix.requestText();
      if (text.size() >= 1024 || text != "/cam/tqzel/dump#" + json + "#") abort();
      if (json.find('#') != std::string::npos) abort();
    }
    vantrix.DumpClientSendModule();
  }
  return 0;
}
