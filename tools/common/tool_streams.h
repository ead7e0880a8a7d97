// The standard streams a tool's report relies on: descriptors 0, 1 and 2.
#ifndef TOOLS_COMMON_TOOL_STREAMS_H
#define TOOLS_COMMON_TOOL_STREAMS_H

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no descriptor the
// tool opens later (a device, a socket) takes a standard stream's number and receives its lines.
// False when /dev/null cannot be opened.
bool open_standard_streams();

#endif  // TOOLS_COMMON_TOOL_STREAMS_H
