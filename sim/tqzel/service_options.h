// The command line of tqzel-sim: where it listens and which faults it plays.
#ifndef SIM_TQZEL_SERVICE_OPTIONS_H
#define SIM_TQZEL_SERVICE_OPTIONS_H

#include <stdint.h>

#include <string>

struct ServiceOptions {
  int port = 4894;         // TCP port on 127.0.0.1; 0 lets the system pick one
  std::string socketPath;  // a local stream socket instead of TCP when not empty
  long delayMs = 0;        // wait before answering
  long dripMs = 0;         // send the answer one byte at a time, this far apart (> 0)
  int64_t size = -1;       // announce and send exactly this many dump bytes (>= 0)
  int64_t sendOnly = -1;   // send only this many dump bytes, then close (>= 0)
  bool neverAnswer = false;
  bool closeAtOnce = false;
  bool help = false;
  bool version = false;
};

extern const char kServiceHelp[];

// Fills `options` from the command line; false with `error` set for a bad one.
bool parseServiceOptions(int argc, char **argv, ServiceOptions *options, std::string *error);

#endif  // SIM_TQZEL_SERVICE_OPTIONS_H
