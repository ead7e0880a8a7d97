// Standard input, output and error as the program needs them before it opens anything.
#ifndef WARPBENCH_STANDARD_DESCRIPTORS_H
#define WARPBENCH_STANDARD_DESCRIPTORS_H

// Opens /dev/null on each of descriptors 0, 1 and 2 that the program was started without, so
// that nothing it opens later (a pipe, the device, a buffer) takes their place. Failures leave
// the descriptors as they are.
void open_missing_standard_descriptors();

#endif  // WARPBENCH_STANDARD_DESCRIPTORS_H
