// What the whole warpbench run shares, defined in one place. The main thread writes it during
// set-up; once the console thread runs it only reads it, but for what is noted here. Each module's
// own state lives in its own file, behind its own functions.
#ifndef WARPBENCH_RUN_STATE_H
#define WARPBENCH_RUN_STATE_H

#include <lenswarp_api.h>

#include <atomic>

#include "run_buffers.h"
#include "run_settings.h"

// Filled from the command line. Afterwards the frame step counts stream_skip and stream_count
// down; nothing else changes.
extern RunSettings run_settings;

// The job handed to tq_lenswarp_api_init; the working buffers add mesh buffer 0 to it.
extern FecConfig fec_cfg;

// The library context: null until tq_lenswarp_api_init succeeds and again after teardown.
extern FecContext fec_ctx;

// The four working DMA buffers. The console's DMA-FD exercise refills the two mesh buffers.
extern RunBuffers run_bufs;

// Set once, by the main thread after its frame loop; the console thread ends when it sees it.
extern std::atomic<bool> stop_requested;

#endif  // WARPBENCH_RUN_STATE_H
