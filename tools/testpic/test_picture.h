// The test picture nv12-testpic writes.
#ifndef TOOLS_TESTPIC_TEST_PICTURE_H
#define TOOLS_TESTPIC_TEST_PICTURE_H

#include "testpic_command_line.h"

// Renders the picture of `settings`, flat or through the lens of its INI, and writes it whole to
// its output. False after a message on standard error: an INI that cannot be read or that
// describes no lens the model accepts, no room for the picture, or a file not written whole
// (then removed, when it is a regular file).
bool write_test_picture(const TestpicSettings &settings);

#endif  // TOOLS_TESTPIC_TEST_PICTURE_H
