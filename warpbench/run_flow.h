// The whole life of a warpbench run, from the command line to the teardown.
#ifndef WARPBENCH_RUN_FLOW_H
#define WARPBENCH_RUN_FLOW_H

// The program's entry: returns the exit status to pass to exit_as_signalled (0; 1 for a path that
// does not fit the library's records or a job refused by its limits; -1, shown as 255, for a
// missing calibration source or a failed buffer allocation; the command line's status for help and
// command-line errors). After a stop signal it returns normally, through the teardown; main then
// ends the process by that signal.
int warpbench_main(int argc, char **argv);

#endif  // WARPBENCH_RUN_FLOW_H
