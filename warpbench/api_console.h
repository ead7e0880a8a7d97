// The interactive API test console (-t): a second thread that reads single key presses and runs
// the exercise of each key while frames keep flowing.
#ifndef WARPBENCH_API_CONSOLE_H
#define WARPBENCH_API_CONSOLE_H

#include <lenswarp_api.h>

// Thread entry, started with the library context as its argument. Ends (returning null) at the
// first pass after stop_requested is set, or at once when a stop signal arrives while it waits
// for a key; the terminal is restored either way. At the end of standard input it says so once
// and from then on only waits for the stop flag.
void *api_test_thread(void *ctx);

// One key: its line, then the banner and exercise of a key of the table (and the key's failure
// line when the exercise fails), or the line naming an unsupported key.
void handle_console_key(int key, FecContext ctx);

// Saves standard input's terminal attributes, clears ICANON and ECHO, and registers
// restore_terminal with atexit. Failures (no terminal) are ignored.
void set_terminal_raw();

// Writes the saved attributes back to standard input.
void restore_terminal();

#endif  // WARPBENCH_API_CONSOLE_H
