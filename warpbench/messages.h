// Messages that the `silent` switch suppresses all go through here.
#ifndef WARPBENCH_MESSAGES_H
#define WARPBENCH_MESSAGES_H

#include <stdio.h>

// printf to `stream` unless silent.
void say(FILE *stream, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

#endif  // WARPBENCH_MESSAGES_H
