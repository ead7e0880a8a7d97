// quillox's settings from its environment (QUILLOX_TIMEOUT, QUILLOX_MAX_DUMP).
#ifndef QUILLOX_ENVIRONMENT_SETTING_H
#define QUILLOX_ENVIRONMENT_SETTING_H

// The whole decimal number from `min` to `max` in the environment variable `name`. `fallback`
// when the variable is unset or empty, and also, after a line on standard error, when it holds
// anything else.
unsigned long environmentNumber(const char *name, unsigned long min, unsigned long max,
                                unsigned long fallback);

#endif  // QUILLOX_ENVIRONMENT_SETTING_H
