#include "tuning_modules.h"

#include <iterator>

namespace {

struct TuningModule {
  const char *name;
  const char *body;  // "key : value" lines, each ending in a newline
};

// Plausible values of a 4K sensor's tuning state, fixed so the dumps are reproducible.
const TuningModule kModules[] = {
    {"ae",
     "  mode               : auto\n"
     "  exposure_time      : 0.016650 s\n"
     "  analog_gain        : 2.375\n"
     "  digital_gain       : 1.000\n"
     "  mean_luma          : 118\n"
     "  target_luma        : 120\n"
     "  converged          : yes\n"},
    {"awb",
     "  mode               : auto\n"
     "  cct                : 5120 K\n"
     "  gain_r             : 1.8203\n"
     "  gain_gr            : 1.0000\n"
     "  gain_gb            : 1.0000\n"
     "  gain_b             : 1.5078\n"},
    {"ccm",
     "  saturation         : 100\n"
     "  matrix             : 1.5625 -0.4375 -0.1250\n"
     "                       -0.2500 1.4375 -0.1875\n"
     "                       -0.0625 -0.5625 1.6250\n"},
    {"gamma",
     "  curve              : 0 18 36 54 71 88 104 120 135 150 164 178 191 204 217 229 241 "
     "255\n"},
    {"lsc",
     "  enable             : 1\n"
     "  table              : 5000K\n"
     "  strength           : 85\n"},
    {"nr",
     "  spatial_strength   : 32\n"
     "  temporal_strength  : 48\n"
     "  chroma_strength    : 20\n"},
    {"sharp",
     "  strength           : 40\n"
     "  edge_threshold     : 12\n"},
};

void appendModule(std::string *out, const TuningModule &module) {
  *out += "[";
  *out += module.name;
  *out += "]\n";
  *out += module.body;
}

void appendArgs(std::string *out, const char *label, const std::vector<std::string> &args) {
  *out += label;
  *out += "(" + std::to_string(args.size()) + ")";
  for (const std::string &arg : args) *out += " \"" + arg + "\"";
  *out += "\n";
}

}  // namespace

std::vector<std::string> moduleNames() {
  std::vector<std::string> names;
  for (const TuningModule &module : kModules) names.push_back(module.name);
  return names;
}

std::string dumpFor(const DumpRequest &request) {
  if (!request.valid) return "tqzel: " + request.error + "\n";
  std::string out;
  if (!request.hasModule) {
    if (request.uri == "dump" && request.uriArgs.empty()) return "tqzel: no module named\n";
    out = "TQZEL uri /cam/tqzel/" + request.uri + "\n";
    appendArgs(&out, "  uriArgs            : ", request.uriArgs);
    return out;
  }
  if (request.module == "all") {
    out = "TQZEL v3.1.4 (simulated) tuning dump, " + std::to_string(std::size(kModules)) +
          " modules\n";
    for (const TuningModule &module : kModules) appendModule(&out, module);
    if (!request.moduleArgs.empty())
      appendArgs(&out, "  moduleArgs         : ", request.moduleArgs);
    return out;
  }
  for (const TuningModule &module : kModules) {
    if (request.module != module.name) continue;
    appendModule(&out, module);
    appendArgs(&out, "  moduleArgs         : ", request.moduleArgs);
    return out;
  }
  return "tqzel: unknown module \"" + request.module + "\"\n";
}
