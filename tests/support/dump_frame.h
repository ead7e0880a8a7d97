// The frame quillox prints around a service's dump, as the tests expect it byte for byte.
#ifndef TESTS_SUPPORT_DUMP_FRAME_H
#define TESTS_SUPPORT_DUMP_FRAME_H

#include <string>

// The separator line and "DUMP OF SERVICE name:".
std::string dumpHeader(const std::string &name);
// The separator line and "END DUMP OF SERVICE name:".
std::string dumpFooter(const std::string &name);
// `dump` between the two.
std::string dumpFrame(const std::string &name, const std::string &dump);

#endif  // TESTS_SUPPORT_DUMP_FRAME_H
