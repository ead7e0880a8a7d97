#include "service_options.h"

#include <getopt.h>
#include <stdlib.h>

const char kServiceHelp[] =
    "usage: tqzel-sim [OPTIONS]\n"
    "Stand-in for the camera tuning service: answers quillox's dump requests, one request\n"
    "and one answer per connection, until SIGINT or SIGTERM stops it (status 0).\n"
    "\n"
    "  --port N          listen on tcp://127.0.0.1:N (default 4894; 0 picks a free port)\n"
    "  --socket PATH     listen on the local stream socket PATH instead (removed at exit)\n"
    "\n"
    "Fault injection:\n"
    "  --delay MS        wait MS milliseconds before answering each request\n"
    "  --drip MS         send the answer one byte at a time, MS milliseconds apart\n"
    "  --size N          announce N dump bytes and send N bytes (the dump repeated or cut)\n"
    "  --send-only N     after the head, send only the first N dump bytes, then close\n"
    "  --never-answer    read the request, then keep the connection open without answering\n"
    "  --close-at-once   close each connection as soon as it is accepted\n"
    "\n"
    "  --help            show this text\n"
    "  --version         print the version\n"
    "\n"
    "It logs where it listens, each request and each answer on standard error.\n";

namespace {

bool parseNumber(const char *text, int64_t low, int64_t high, int64_t *value) {
  char *end = nullptr;
  long long n = strtoll(text, &end, 10);
  if (end == text || *end != '\0' || n < low || n > high) return false;
  *value = n;
  return true;
}

}  // namespace

bool parseServiceOptions(int argc, char **argv, ServiceOptions *options, std::string *error) {
  enum {
    kPort = 1,
    kSocket,
    kDelay,
    kDrip,
    kSize,
    kSendOnly,
    kNeverAnswer,
    kCloseAtOnce,
    kHelp,
    kVersion
  };
  static const struct option kOptions[] = {
      {"port", required_argument, nullptr, kPort},
      {"socket", required_argument, nullptr, kSocket},
      {"delay", required_argument, nullptr, kDelay},
      {"drip", required_argument, nullptr, kDrip},
      {"size", required_argument, nullptr, kSize},
      {"send-only", required_argument, nullptr, kSendOnly},
      {"never-answer", no_argument, nullptr, kNeverAnswer},
      {"close-at-once", no_argument, nullptr, kCloseAtOnce},
      {"help", no_argument, nullptr, kHelp},
      {"version", no_argument, nullptr, kVersion},
      {nullptr, 0, nullptr, 0},
  };
  optind = 1;
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
    int64_t value = 0;
    switch (c) {
      case kPort:
        if (!parseNumber(optarg, 0, 65535, &value)) {
          *error = std::string("bad port: ") + optarg;
          return false;
        }
        options->port = (int)value;
        break;
      case kSocket:
        options->socketPath = optarg;
        break;
      case kDelay:
        if (!parseNumber(optarg, 0, 3600 * 1000, &value)) {
          *error = std::string("bad delay: ") + optarg;
          return false;
        }
        options->delayMs = (long)value;
        break;
      case kDrip:
        if (!parseNumber(optarg, 1, 3600 * 1000, &value)) {
          *error = std::string("bad drip interval: ") + optarg;
          return false;
        }
        options->dripMs = (long)value;
        break;
      case kSize:
      case kSendOnly:
        if (!parseNumber(optarg, 0, UINT32_MAX, &value)) {
          *error = std::string("bad byte count: ") + optarg;
          return false;
        }
        (c == kSize ? options->size : options->sendOnly) = value;
        break;
      case kNeverAnswer:
        options->neverAnswer = true;
        break;
      case kCloseAtOnce:
        options->closeAtOnce = true;
        break;
      case kHelp:
        options->help = true;
        break;
      case kVersion:
        options->version = true;
        break;
      default:
        *error = std::string("unknown or incomplete option: ") + argv[optind - 1];
        return false;
    }
  }
  if (optind < argc) {
    *error = std::string("unexpected argument: ") + argv[optind];
    return false;
  }
  return true;
}
