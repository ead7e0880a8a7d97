#include "api_console.h"

#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "mesh_exercises.h"
#include "messages.h"
#include "run_state.h"
#include "stop_signals.h"

namespace {

struct termios saved_termios;

struct ConsoleKey {
  int key;
  const char *banner;
  int (*exercise)(FecContext ctx);
  const char *failure;
};

const ConsoleKey kKeys[] = {
    {'1', "==== set_cfg API Test ====", api_test_set_cfg, "set_cfg API test failed\n"},
    {'2', "==== set_mesh API Test: Online Mesh Generation ====", api_test_mesh_online,
     "Online generation test failed\n"},
    {'3', "==== set_mesh API Test: Mesh from file ====", api_test_mesh_from_file,
     "File-based config test failed\n"},
    {'4', "==== set_mesh API Test: Mesh from vaddr ====", api_test_mesh_from_vaddr,
     "Virtual address config test failed\n"},
    {'5', "==== set_mesh API Test: Mesh from DMA FD ====", api_test_mesh_from_dma_fd,
     "DMA FD config test failed\n"},
    {'6', "==== get_mesh API Test: Get mesh config ====", api_test_get_mesh,
     "Get mesh config test failed\n"},
};

enum Wake { WAKE_KEY, WAKE_STOP_SIGNAL, WAKE_TIMEOUT };

// Blocks until a key can be read (when `keys` is set), a stop signal arrives or `timeout_ms`
// passes (-1: no time-out). Keys are read straight from the descriptor, so a key that is ready is
// always visible to poll.
Wake wait_for(bool keys, int timeout_ms) {
  struct pollfd fds[2] = {{keys ? 0 : -1, POLLIN, 0}, {stop_signal_fd(), POLLIN, 0}};
  for (;;) {
    if (caught_stop_signal() != 0) return WAKE_STOP_SIGNAL;
    int n = poll(fds, 2, timeout_ms);
    if (n == 0) return WAKE_TIMEOUT;
    if (n < 0) continue;  // interrupted: look at the signal flag again
    if (fds[1].revents != 0) return WAKE_STOP_SIGNAL;
    return WAKE_KEY;
  }
}

enum KeyRead { KEY_READ, KEY_NONE, KEY_END_OF_INPUT };

// One key from standard input, which poll found ready. Its end, and a terminal that hung up
// (EIO), end the keys for good.
KeyRead read_key(unsigned char *key) {
  ssize_t n = read(0, key, 1);
  if (n == 1) return KEY_READ;
  if (n < 0) {
    int err = errno;
    if (err == EINTR || err == EAGAIN) return KEY_NONE;
  }
  return KEY_END_OF_INPUT;
}

}  // namespace

void handle_console_key(int c, FecContext ctx) {
  say(stdout, "press key=[%c]\n", c);
  for (const ConsoleKey &k : kKeys) {
    if (k.key != c) continue;
    say(stdout, "%s\n", k.banner);
    if (k.exercise(ctx) != 0) say(stderr, "%s", k.failure);
    return;
  }
  say(stderr, "Not support key %d\n", c);
}

void set_terminal_raw() {
  tcgetattr(0, &saved_termios);
  struct termios raw = saved_termios;
  raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO);
  tcsetattr(0, TCSANOW, &raw);
  atexit(restore_terminal);
}

void restore_terminal() {
  tcsetattr(0, TCSANOW, &saved_termios);
}

void *api_test_thread(void *ctx) {
  set_terminal_raw();
  bool keys = ctx != nullptr;
  for (;;) {
    if (stop_requested.load()) break;
    if (!keys) {
      // No library to exercise, or no more keys to read: only wait for the stop flag.
      if (wait_for(false, 20) == WAKE_STOP_SIGNAL) break;
      continue;
    }
    if (wait_for(true, -1) == WAKE_STOP_SIGNAL) break;
    unsigned char key;
    switch (read_key(&key)) {
      case KEY_READ:
        handle_console_key(key, ctx);
        break;
      case KEY_NONE:
        break;
      case KEY_END_OF_INPUT:
        say(stderr, "End of input: no more keys are read\n");
        keys = false;
        break;
    }
  }
  restore_terminal();
  return nullptr;
}
