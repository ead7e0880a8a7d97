// The listening side of tqzel-sim: one thread per connection, one request and one answer on
// each, with the fault injection of the options.
#ifndef SIM_TQZEL_SERVER_H
#define SIM_TQZEL_SERVER_H

#include <string>

#include "service_options.h"

class Server {
 public:
  explicit Server(const ServiceOptions &options) : mOptions(options) {}
  ~Server();
  Server(const Server &) = delete;
  Server &operator=(const Server &) = delete;

  // Binds and listens; `where` describes the endpoint ("tcp://127.0.0.1:4894"). False with
  // `error` set when that fails.
  bool listen(std::string *where, std::string *error);
  // Serves connections until `stopFd` becomes readable, then waits for the connections in
  // progress to end (they end at once on the stop too) and removes the local socket's entry.
  void run(int stopFd);

 private:
  ServiceOptions mOptions;
  int mListenFd = -1;
};

#endif  // SIM_TQZEL_SERVER_H
