// The interactive API test console (-t): a second thread that reads single key presses.
#ifndef WARPBENCH_API_CONSOLE_H
#define WARPBENCH_API_CONSOLE_H

// Thread entry, started with the library context as its argument; returns null when the main
// thread has set stop_requested.
void *api_test_thread(void *ctx);

#endif  // WARPBENCH_API_CONSOLE_H
