#include <errno.h>
#include <netinet/in.h>
#include <signal.h>
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
#include "tool_text.h"

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
const char size_hint[] =
    "quillox refuses a dump this large: if the service's dumps are this large, raise "
    "QUILLOX_MAX_DUMP (in MiB, up to 4096); otherwise the answer is corrupt: restart the service "
    "and see its log";
const char deadline_hint[] =
    "the service keeps the exchange going without finishing it, and quillox would wait on: see "
    "the service's log and the board's load, and restart the service";

// However the service paces its bytes, the check ends: the idle time-out alone restarts with
// every byte that arrives.
const unsigned int exchange_deadline_s = 10;

// The socket of the exchange in progress (-1: none), and whether the deadline has passed.
volatile sig_atomic_t exchange_fd = -1;
volatile sig_atomic_t deadline_passed = 0;

// At the deadline: shutting the socket down ends whatever waits on it, where a receive carried on
// after the interruption would wait again. shutdown is async-signal-safe.
void on_deadline(int) {
  deadline_passed = 1;
  if (exchange_fd >= 0) shutdown(exchange_fd, SHUT_RDWR);
}

// The deadline's timer and handler while an exchange runs; the previous ones come back after it.
struct DeadlineTimer {
  struct sigaction previous_action;
  struct itimerval previous_timer;
};

void start_deadline(DeadlineTimer *timer) {
  deadline_passed = 0;
  struct sigaction action = {};
  action.sa_handler = on_deadline;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a connect in progress returns at once.
  sigaction(SIGALRM, &action, &timer->previous_action);
  struct itimerval limit = {};
  limit.it_value.tv_sec = exchange_deadline_s;
  setitimer(ITIMER_REAL, &limit, &timer->previous_timer);
}

void stop_deadline(DeadlineTimer *timer) {
  setitimer(ITIMER_REAL, &timer->previous_timer, nullptr);
  sigaction(SIGALRM, &timer->previous_action, nullptr);
  exchange_fd = -1;
}

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
    // quillox would connect to INADDR_NONE, the broadcast address, which fails.
    if (!DumpClient::inetAddress(host, port, in) || in->sin_addr.s_addr == INADDR_NONE) {
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
      *why = string_printf("no socket path of 1 to %zu characters", sizeof(un->sun_path) - 1);
      return false;
    }
    strcpy(un->sun_path, path);
    address->length = (socklen_t)sizeof(*un);
    return true;
  }
  *why = "neither tcp:// nor domain://";
  return false;
}

// Why an exchange stopped with `error` while quillox would still be `doing` it: the deadline, the
// end of the connection (0), the time-out or the system's text.
std::string failure_text(int error, unsigned long timeout_s, const char *doing) {
  if (deadline_passed) {
    return string_printf(
        "stopped at the check's deadline of %u s for the whole exchange, where "
        "quillox would still be %s",
        exchange_deadline_s, doing);
  }
  if (error == 0) return "connection closed";
  // A connect that times out says EINPROGRESS (TCP) or EAGAIN (local socket).
  if (timeout_s > 0 && (error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS)) {
    return string_printf("no progress for %lu s (QUILLOX_TIMEOUT)", timeout_s);
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

// What the exchange holds to: quillox's idle time-out and size limit.
struct ExchangeLimits {
  unsigned long timeout_s;
  unsigned long max_dump_mib;
};

// Connects, asks and takes the whole answer, which is dropped; the first step that fails ends the
// exchange with its result. The socket is left in `*fd` for the caller to close.
CheckResult ask_service(const char *uri, const ExchangeLimits &limits, int *fd) {
  ServiceAddress address;
  std::string why;
  if (!service_address(uri, &address, &why)) {
    return {VERDICT_FAIL, string_printf("%s: %s", uri, why.c_str()), address_hint};
  }
  *fd = socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (*fd < 0) {
    int err = errno;
    return {VERDICT_FAIL, string_printf("%s: socket: %s", uri, strerror(err)), start_service_hint};
  }
  exchange_fd = *fd;
  const unsigned long timeout_s = limits.timeout_s;
  struct timeval limit = {};
  limit.tv_sec = (time_t)timeout_s;
  // A connect waits for as long as a send may.
  if (setsockopt(*fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) != 0 ||
      setsockopt(*fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit)) != 0 ||
      connect(*fd, reinterpret_cast<struct sockaddr *>(&address.storage), address.length) != 0) {
    int err = errno;
    return {
        VERDICT_FAIL,
        string_printf("%s: connect: %s", uri, failure_text(err, timeout_s, "connecting").c_str()),
        start_service_hint};
  }

  int err = 0;
  const std::string request = dump_request();
  if (DumpClient::sendWhole(*fd, request.data(), (unsigned int)request.size(), &err) <
      request.size()) {
    return {VERDICT_FAIL,
            string_printf("%s: sending the request: %s", uri,
                          failure_text(err, timeout_s, "sending").c_str()),
            deadline_passed ? deadline_hint : answer_hint};
  }
  unsigned int head[2];
  unsigned int got =
      DumpClient::receiveBuffer(*fd, reinterpret_cast<char *>(head), sizeof(head), &err);
  if (got < sizeof(head)) {
    return {VERDICT_FAIL,
            string_printf("%s: %u of 8 answer head bytes received; %s", uri, got,
                          failure_text(err, timeout_s, "receiving").c_str()),
            deadline_passed ? deadline_hint : answer_hint};
  }
  if (dumpOverLimit(head[1], limits.max_dump_mib)) {
    return {VERDICT_FAIL,
            string_printf("%s: the answer announces a dump of %u bytes, over quillox's limit of "
                          "%lu MiB (QUILLOX_MAX_DUMP)",
                          uri, head[1], limits.max_dump_mib),
            size_hint};
  }
  std::vector<char> sink(64 * 1024);
  unsigned int received = 0;
  while (received < head[1]) {
    unsigned int want = std::min<unsigned int>(head[1] - received, (unsigned int)sink.size());
    unsigned int n = DumpClient::receiveBuffer(*fd, sink.data(), want, &err);
    received += n;
    if (n < want) {
      return {VERDICT_FAIL,
              string_printf("%s: %u of %u announced dump bytes received; %s", uri, received,
                            head[1], failure_text(err, timeout_s, "receiving").c_str()),
              deadline_passed ? deadline_hint : answer_hint};
    }
  }
  return {VERDICT_OK, string_printf("%s: answered a dump request", uri), ""};
}

}  // namespace

CheckResult check_tuning_service() {
  const char *uri = serviceUri();
  // As quillox reads them, but for the idle time-out's default.
  ExchangeLimits limits;
  limits.timeout_s = environmentNumber("QUILLOX_TIMEOUT", 0, kMaxIdleTimeout, default_timeout_s);
  limits.max_dump_mib =
      environmentNumber("QUILLOX_MAX_DUMP", 1, kMaxMaxDumpMiB, kDefaultMaxDumpMiB);
  DeadlineTimer timer;
  start_deadline(&timer);
  int fd = -1;
  CheckResult result = ask_service(uri, limits, &fd);
  stop_deadline(&timer);
  if (fd >= 0) close(fd);
  return result;
}
