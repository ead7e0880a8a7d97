// The whole life of a warpbench run, from the command line to the teardown.
#ifndef WARPBENCH_RUN_FLOW_H
#define WARPBENCH_RUN_FLOW_H

#include <atomic>

// Set once by the main thread after its frame loop; the console thread reads it.
extern std::atomic<bool> stop_requested;

// The program's entry: returns the exit status (255 for the -1 results of set-up). Ends the
// process itself for help, command-line errors and a caught stop signal.
int warpbench_main(int argc, char **argv);

#endif  // WARPBENCH_RUN_FLOW_H
