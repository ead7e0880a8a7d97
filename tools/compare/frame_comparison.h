// Comparing a frame with a reference frame plane by plane, and a picture of their differences.
#ifndef TOOLS_COMPARE_FRAME_COMPARISON_H
#define TOOLS_COMPARE_FRAME_COMPARISON_H

#include "compare_command_line.h"

enum CompareOutcome {
  FRAMES_MATCH,       // no sample differs by more than the tolerance
  FRAMES_DIFFER,      // one does
  COMPARE_BAD_INPUT,  // frames too large, or a file that cannot be read or written
};

// Reads the two frames of `settings`, writes the heat map when it names one, and prints a line
// for each plane and the verdict on standard output. COMPARE_BAD_INPUT after a message on
// standard error, with nothing on standard output; a heat map not written whole is removed.
CompareOutcome compare_frame_files(const CompareSettings &settings);

#endif  // TOOLS_COMPARE_FRAME_COMPARISON_H
