// tqzel-sim: a stand-in for the camera tuning service, for running quillox off the device.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "camtools_version.h"
#include "server.h"
#include "service_options.h"

namespace {

int sStopPipe[2] = {-1, -1};
volatile sig_atomic_t sStopSignal = 0;

void onStopSignal(int signo) {
  sStopSignal = signo;
  char byte = 1;
  ssize_t ignored = write(sStopPipe[1], &byte, 1);
  (void)ignored;
}

}  // namespace

int main(int argc, char **argv) {
  ServiceOptions options;
  std::string error;
  if (!parseServiceOptions(argc, argv, &options, &error)) {
    fprintf(stderr, "tqzel-sim: %s\n%s", error.c_str(), kServiceHelp);
    return 2;
  }
  if (options.help) {
    fputs(kServiceHelp, stdout);
    return 0;
  }
  if (options.version) {
    printf("tqzel-sim %s\n", CAMTOOLS_VERSION);
    return 0;
  }
  if (pipe2(sStopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    perror("tqzel-sim: pipe");
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);
  struct sigaction action = {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  Server server(options);
  std::string where;
  if (!server.listen(&where, &error)) {
    fprintf(stderr, "tqzel-sim: cannot listen on %s\n", error.c_str());
    return 1;
  }
  fprintf(stderr, "tqzel-sim: listening on %s\n", where.c_str());
  server.run(sStopPipe[0]);
  fprintf(stderr, "tqzel-sim: stopped by %s\n", strsignal(sStopSignal));
  return 0;
}
