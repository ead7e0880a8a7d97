// quillox: asks the camera tuning service for a dump and prints it, or prints a local report.
#include <signal.h>

#include "vantrix.h"

int main(int argc, char *argv[]) {
  signal(SIGPIPE, SIG_IGN);
  Vantrix *vantrix = new Vantrix();
  int result = vantrix->start(argc, argv);
  delete vantrix;
  return result;
}
