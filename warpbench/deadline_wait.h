// The frame loop's wait for its next absolute deadline on CLOCK_MONOTONIC: a sleep, optionally
// ended early and finished by reading the clock (WARPBENCH_SPIN_US), since the kernel wakes a
// sleeper some tens of microseconds after the time it asked for.
#ifndef WARPBENCH_DEADLINE_WAIT_H
#define WARPBENCH_DEADLINE_WAIT_H

#include <stdint.h>
#include <time.h>

#define MAX_SPIN_US 10000

// Reads WARPBENCH_SPIN_US (unset or empty: 0): 0, or -1 after saying on standard error, whatever
// -s says, that the value is not a whole number of microseconds from 0 to MAX_SPIN_US.
int read_deadline_spin();

// The microseconds before each deadline from which the loop reads the clock instead of sleeping.
int32_t deadline_spin_us();

// Returns at the deadline, or earlier once a stop signal has arrived: sleeps until the spin's
// start, then reads the clock until the deadline.
void wait_for_deadline(const struct timespec *deadline);

#endif  // WARPBENCH_DEADLINE_WAIT_H
