// The simulated tuning modules and the dump text the service answers a request with.
#ifndef SIM_TQZEL_TUNING_MODULES_H
#define SIM_TQZEL_TUNING_MODULES_H

#include <string>
#include <vector>

#include "request.h"

// The names of the simulated modules, in the order of the "all" dump.
std::vector<std::string> moduleNames();

// The answer's text: for "all" every module, for a known module its section with its arguments
// echoed, for a uri its arguments echoed; otherwise a short error text starting "tqzel: ".
std::string dumpFor(const DumpRequest &request);

#endif  // SIM_TQZEL_TUNING_MODULES_H
