#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

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

// The client's socket during the exchange, and whether the deadline has passed.
DumpClient::Interruption exchange;

// At the deadline: shutting the socket down ends whatever waits on it, where a receive carried on
// after the interruption would wait again. shutdown is async-signal-safe.
void on_deadline(int) {
  exchange.stop = 1;
  if (exchange.socket >= 0) shutdown(exchange.socket, SHUT_RDWR);
}

// The deadline's timer and handler while an exchange runs; the previous ones come back after it.
struct DeadlineTimer {
  struct sigaction previous_action;
  struct itimerval previous_timer;
};

void start_deadline(DeadlineTimer *timer) {
  exchange.stop = 0;
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
}

// What the addresses the client refuses are not.
static_assert(sizeof(sockaddr_un::sun_path) == 108, "a socket path of up to 107 bytes");
const struct {
  DumpClient::Step step;
  const char *why;
} address_faults[] = {
    {DumpClient::kNoProtocol, "neither tcp:// nor domain://"},
    {DumpClient::kInetAddress, "no dotted IPv4 address and port 1 to 65535"},
    {DumpClient::kSocketPath, "no socket path of 1 to 107 characters"},
};

// Why the exchange stopped with `error` while quillox would still be `doing` it: the deadline, the
// end of the connection (0), the time-out or the system's text.
std::string failure_text(const DumpClient &client, int error, const char *doing) {
  if (exchange.stop) {
    return string_printf(
        "stopped at the check's deadline of %u s for the whole exchange, where "
        "quillox would still be %s",
        exchange_deadline_s, doing);
  }
  if (error == 0) return "connection closed";
  if (client.isTimeout(error)) return client.noProgressText();
  return strerror(error);
}

// Connects, asks for a dump of every module as quillox does and takes the whole answer, which is
// dropped; the first step that fails ends the exchange with its result.
CheckResult ask_service(const char *uri, unsigned long max_dump_mib, DumpClient *client) {
  if (!client->connectTo(uri)) {
    const DumpClient::Failure &f = client->failure();
    for (const auto &fault : address_faults) {
      if (f.step == fault.step) {
        return {VERDICT_FAIL, string_printf("%s: %s", uri, fault.why), address_hint};
      }
    }
    if (f.step == DumpClient::kSocket) {
      return {VERDICT_FAIL, string_printf("%s: socket: %s", uri, strerror(f.error)),
              start_service_hint};
    }
    return {
        VERDICT_FAIL,
        string_printf("%s: connect: %s", uri, failure_text(*client, f.error, "connecting").c_str()),
        start_service_hint};
  }
  std::string json;
  appendRequestJson(&json, {"all"}, {}, true);
  const std::string text = makeRequestText(kDumpUriName, json);
  std::vector<char> request(kRequestSize, '\0');
  memcpy(request.data(), text.data(), text.size());
  if (!client->sendDump(kRequestType, request.data(), kRequestSize)) {
    return {VERDICT_FAIL,
            string_printf("%s: sending the request: %s", uri,
                          failure_text(*client, client->failure().error, "sending").c_str()),
            exchange.stop ? deadline_hint : answer_hint};
  }
  unsigned int id, size;
  if (!client->receiveDumpMessage(id, size)) {
    const DumpClient::Failure &f = client->failure();
    return {VERDICT_FAIL,
            string_printf("%s: %u of 8 answer head bytes received; %s", uri, f.done,
                          failure_text(*client, f.error, "receiving").c_str()),
            exchange.stop ? deadline_hint : answer_hint};
  }
  if (dumpOverLimit(size, max_dump_mib)) {
    return {VERDICT_FAIL,
            string_printf("%s: the answer announces a dump of %u bytes, over quillox's limit of "
                          "%lu MiB (QUILLOX_MAX_DUMP)",
                          uri, size, max_dump_mib),
            size_hint};
  }
  // Taken piece by piece: the dump is dropped, and may be as large as the limit.
  std::vector<char> sink(64 * 1024);
  for (unsigned int received = 0; received < size;) {
    const unsigned int want = std::min<unsigned int>(size - received, (unsigned int)sink.size());
    if (!client->receiveDump(sink.data(), want)) {
      const DumpClient::Failure &f = client->failure();
      return {
          VERDICT_FAIL,
          string_printf("%s: %u of %u announced dump bytes received; %s", uri, received + f.done,
                        size, failure_text(*client, f.error, "receiving").c_str()),
          exchange.stop ? deadline_hint : answer_hint};
    }
    received += want;
  }
  return {VERDICT_OK, string_printf("%s: answered a dump request", uri), ""};
}

}  // namespace

CheckResult check_tuning_service() {
  const char *uri = serviceUri();
  // As quillox reads them, but for the idle time-out's default.
  const unsigned long timeout_s =
      environmentNumber("QUILLOX_TIMEOUT", 0, kMaxIdleTimeout, default_timeout_s);
  const unsigned long max_dump_mib =
      environmentNumber("QUILLOX_MAX_DUMP", 1, kMaxMaxDumpMiB, kDefaultMaxDumpMiB);
  // quillox's own client, saying nothing itself: its failures become the check's line.
  DumpClient client;
  client.setQuiet(true);
  client.setIdleTimeout((unsigned int)timeout_s);
  client.setInterruption(&exchange);
  DeadlineTimer timer;
  start_deadline(&timer);
  CheckResult result = ask_service(uri, max_dump_mib, &client);
  stop_deadline(&timer);
  return result;
}
