// The clock that test deadlines are measured on, and waiting for a condition with a deadline
// that only guards against a hang: the wait ends as soon as the condition holds.
#ifndef TESTS_SUPPORT_MONOTONIC_CLOCK_H
#define TESTS_SUPPORT_MONOTONIC_CLOCK_H

#include <functional>

// Seconds on CLOCK_MONOTONIC.
double monotonic_s();

// Checks `predicate` until it holds or `timeout_s` passes; returns whether it held.
bool wait_until(const std::function<bool()> &predicate, double timeout_s);

#endif  // TESTS_SUPPORT_MONOTONIC_CLOCK_H
