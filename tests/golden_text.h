// Texts the programs must print byte for byte, kept once each in tests/golden/ rather than copied
// into every test that compares them.
#ifndef TESTS_GOLDEN_TEXT_H
#define TESTS_GOLDEN_TEXT_H

#include <string>

// The bytes of tests/golden/NAME; throws std::runtime_error when it cannot be read.
const std::string &golden_text(const std::string &name);

#endif  // TESTS_GOLDEN_TEXT_H
