// The staged installation the black-box tests run (bin/, lib/), made by CTest's stage_install.
#ifndef TESTS_STAGED_INSTALL_H
#define TESTS_STAGED_INSTALL_H

#include <string>

// Its root, from STAGE_DIR; throws std::runtime_error when that is not set.
std::string stage_dir();
// The path of an installed program.
std::string staged_program(const std::string &name);

#endif  // TESTS_STAGED_INSTALL_H
