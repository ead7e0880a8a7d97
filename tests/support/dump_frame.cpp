#include "dump_frame.h"

namespace {

const std::string kSeparator = std::string(79, '-') + "\n";

}  // namespace

std::string dumpHeader(const std::string &name) {
  return kSeparator + "DUMP OF SERVICE " + name + ":\n";
}

std::string dumpFooter(const std::string &name) {
  return kSeparator + "END DUMP OF SERVICE " + name + ":\n";
}

std::string dumpFrame(const std::string &name, const std::string &dump) {
  return dumpHeader(name) + dump + dumpFooter(name);
}
