#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "checks.h"
#include "dump_client.h"
#include "environment_setting.h"
#include "request_json.h"
#include "service_endpoint.h"
#include "string_format.h"

namespace {

// A service that answers at all answers at once; quillox, which waits for whole dumps, allows 30 s.
const unsigned long default_timeout_s = 5;

const char start_service_hint[] =
    "start the tuning service (TQZEL) on the board, or set QUILLOX_SERVICE to where it listens; "
    "on a development host, start the stand-in: tqzel-sim &";
const char address_hint[] = "QUILLOX_SERVICE takes tcp://A.B.C.D:PORT or domain://PATH";
const char answer_hint[] =
    "the service took the connection but did not answer whole: restart it and see its log; "
    "QUILLOX_TIMEOUT gives it more time";

struct ServiceAddress {
  struct sockaddr_storage storage;
  socklen_t length;
};

// The address of `uri` as quillox reads it; false with `why` when it names none.
bool service_address(const char *uri, ServiceAddress *address, std::string *why) {
  char proto[16], host[256], path[256];
  int port;
  DumpClient::urlSplit(proto, sizeof(proto), nullptr, 0, host, sizeof(host), &port, path,
                       sizeof(path), uri);
  memset(address, 0, sizeof(*address));
  if (strcmp(proto, "tcp") == 0) {
    struct sockaddr_in *in = reinterpret_cast<struct sockaddr_in *>(&address->storage);
    in->sin_family = AF_INET;
    in->sin_port = htons((uint16_t)port);
    if (port <= 0 || port > 65535 || inet_pton(AF_INET, host, &in->sin_addr) != 1) {
      *why = "no dotted IPv4 address and port 1 to 65535";
      return false;
    }
    address->length = sizeof(*in);
    return true;
  }
  if (strcmp(proto, "domain") == 0) {
    struct sockaddr_un *un = reinterpret_cast<struct sockaddr_un *>(&address->storage);
    un->sun_family = AF_UNIX;
    if (path[0] == '\0' || strlen(path) >= sizeof(un->sun_path)) {
      *why = StringPrintf("no socket path of 1 to %zu characters", sizeof(un->sun_path) - 1);
      return false;
    }
    strcpy(un->sun_path, path);
    address->length = (socklen_t)sizeof(*un);
    return true;
  }
  *why = "neither tcp:// nor domain://";
  return false;
}

// Why an exchange stopped with `error`: the end of the connection (0), the time-out or the
// system's text.
std::string failure_text(int error, unsigned long timeout_s) {
  if (error == 0) return "connection closed";
  // A connect that times out says EINPROGRESS (TCP) or EAGAIN (local socket).
  if (timeout_s > 0 && (error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS)) {
    return StringPrintf("no progress for %lu s (QUILLOX_TIMEOUT)", timeout_s);
  }
  return strerror(error);
}

// quillox's request for a dump of every module.
std::string dump_request() {
  std::string json;
  appendRequestJson(&json, {"all"}, {}, true);
  std::string text = makeRequestText(kDumpUriName, json);
  std::string message(8 + kRequestSize, '\0');
  const unsigned int head[2] = {kRequestType, kRequestSize};
  memcpy(&message[0], head, sizeof(head));
  memcpy(&message[8], text.data(), text.size());
  return message;
}

// Connects, asks and takes the whole answer, which is dropped; the first step that fails ends the
// exchange with its result. The socket is left in `*fd` for the caller to close.
CheckResult ask_service(const char *uri, unsigned long timeout_s, int *fd) {
  ServiceAddress address;
  std::string why;
  if (!service_address(uri, &address, &why)) {
    return {VERDICT_FAIL, StringPrintf("%s: %s", uri, why.c_str()), address_hint};
  }
  *fd = socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (*fd < 0) {
    int err = errno;
    return {VERDICT_FAIL, StringPrintf("%s: socket: %s", uri, strerror(err)), start_service_hint};
  }
  struct timeval limit = {};
  limit.tv_sec = (time_t)timeout_s;
  // A connect waits for as long as a send may.
  if (setsockopt(*fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) != 0 ||
      setsockopt(*fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit)) != 0 ||
      connect(*fd, reinterpret_cast<struct sockaddr *>(&address.storage), address.length) != 0) {
    int err = errno;
    return {VERDICT_FAIL,
            StringPrintf("%s: connect: %s", uri, failure_text(err, timeout_s).c_str()),
            start_service_hint};
  }

  int err = 0;
  const std::string request = dump_request();
  if (DumpClient::sendWhole(*fd, request.data(), (unsigned int)request.size(), &err) <
      request.size()) {
    return {VERDICT_FAIL,
            StringPrintf("%s: sending the request: %s", uri, failure_text(err, timeout_s).c_str()),
            answer_hint};
  }
  unsigned int head[2];
  unsigned int got =
      DumpClient::receiveBuffer(*fd, reinterpret_cast<char *>(head), sizeof(head), &err);
  if (got < sizeof(head)) {
    return {VERDICT_FAIL,
            StringPrintf("%s: %u of 8 answer head bytes received; %s", uri, got,
                         failure_text(err, timeout_s).c_str()),
            answer_hint};
  }
  std::vector<char> sink(64 * 1024);
  unsigned int received = 0;
  while (received < head[1]) {
    unsigned int want = std::min<unsigned int>(head[1] - received, (unsigned int)sink.size());
    unsigned int n = DumpClient::receiveBuffer(*fd, sink.data(), want, &err);
    received += n;
    if (n < want) {
      return {VERDICT_FAIL,
              StringPrintf("%s: %u of %u announced dump bytes received; %s", uri, received, head[1],
                           failure_text(err, timeout_s).c_str()),
              answer_hint};
    }
  }
  return {VERDICT_OK, StringPrintf("%s: answered a dump request", uri), ""};
}

}  // namespace

CheckResult check_tuning_service() {
  const char *uri = serviceUri();
  unsigned long timeout_s =
      environmentNumber("QUILLOX_TIMEOUT", 0, kMaxIdleTimeout, default_timeout_s);
  int fd = -1;
  CheckResult result = ask_service(uri, timeout_s, &fd);
  if (fd >= 0) close(fd);
  return result;
}
