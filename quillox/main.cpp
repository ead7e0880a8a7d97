// quillox: asks the camera tuning service for a dump and prints it, or prints a local report.
#include <signal.h>

#include "standard_streams.h"
#include "vantrix.h"

int main(int argc, char *argv[]) {
  // Before any descriptor is opened; without /dev/null nothing can be written safely (status 0).
  if (!openStandardStreams()) return 0;
  signal(SIGPIPE, SIG_IGN);
  Vantrix *vantrix = new Vantrix();
  int result = vantrix->start(argc, argv);
  delete vantrix;
  return result;
}
