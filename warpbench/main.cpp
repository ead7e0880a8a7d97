#include "run_flow.h"
#include "stop_signals.h"

int main(int argc, char **argv) {
  exit_as_signalled(warpbench_main(argc, argv));
}
