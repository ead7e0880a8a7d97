#include "service_endpoint.h"

#include <stdint.h>
#include <stdlib.h>

#include "string_format.h"

const char kServiceUri[] = "tcp://127.0.0.1:4894";
const char kDumpUriName[] = "dump";

const char *serviceUri() {
  // A forwarded port or a local socket can stand in for the service's fixed address.
  const char *uri = getenv("QUILLOX_SERVICE");
  return uri != nullptr && *uri != '\0' ? uri : kServiceUri;
}

std::string makeRequestText(const std::string &uriName, const std::string &json) {
  return StringPrintf("/cam/tqzel/%s#%s#", uriName.c_str(), json.c_str());
}

bool dumpOverLimit(unsigned int size, unsigned long maxDumpMiB) {
  return size > (uint64_t)maxDumpMiB << 20;
}
