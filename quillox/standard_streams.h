// The standard streams a run relies on: descriptors 0, 1 and 2.
#ifndef QUILLOX_STANDARD_STREAMS_H
#define QUILLOX_STANDARD_STREAMS_H

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no descriptor opened
// later (the service's socket) takes a standard stream's number. False when /dev/null cannot be
// opened.
bool openStandardStreams();

#endif  // QUILLOX_STANDARD_STREAMS_H
