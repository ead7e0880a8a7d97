#include "api_console.h"

#include <time.h>

#include "run_flow.h"

// The key console and its exercises are not built yet: the thread only lives until the main
// thread stops it, as it will when given no context.
void *api_test_thread(void *) {
  const struct timespec poll_interval = {0, 10 * 1000 * 1000};
  while (!stop_requested.load()) nanosleep(&poll_interval, nullptr);
  return nullptr;
}
