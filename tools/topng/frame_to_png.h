// An NV12 frame of a frames file as an RGB PNG.
#ifndef TOOLS_TOPNG_FRAME_TO_PNG_H
#define TOOLS_TOPNG_FRAME_TO_PNG_H

#include "topng_command_line.h"

// Reads the frame of `settings`, converts it to RGB (BT.601, limited range), shrunk by its scale
// with a box filter to WIDTH / N x HEIGHT / N pixels (at least 1 each, pixels beyond the last
// whole block left out), and writes it as the PNG file of `settings`. False after a message on
// standard error; a PNG not written whole is removed, when it is a regular file.
bool convert_frame_to_png(const TopngSettings &settings);

#endif  // TOOLS_TOPNG_FRAME_TO_PNG_H
