// quillox against the staged tqzel-sim on a free port, with the service's fault injection.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "dump_frame.h"
#include "monotonic_clock.h"
#include "owned_fd.h"
#include "program_runner.h"
#include "quillox_support.h"
#include "text_search.h"

namespace {

ProgramRun quilloxAt(const ServiceProcess &service, const std::vector<std::string> &args,
                     std::map<std::string, std::string> env = {}) {
  env.emplace("QUILLOX_SERVICE", service.endpoint());
  return quilloxRun(args, env);
}

ProgramResult runQuilloxAt(const ServiceProcess &service, const std::vector<std::string> &args) {
  return run_program(quilloxAt(service, args));
}

TEST(QuilloxWithService, AllModulesOneModuleAndAnUnknownOne) {
  ServiceProcess service({"--port", "0"});
  ASSERT_TRUE(service.ready()) << service.log();
  ProgramResult r = runQuilloxAt(service, {});
  EXPECT_EQ(0u, r.out.find(dumpHeader("all") + "TQZEL v3.1.4 (simulated)")) << r.out;
  size_t at = 0;
  for (const char *module : {"[ae]", "[awb]", "[ccm]", "[gamma]", "[lsc]", "[nr]", "[sharp]"}) {
    at = r.out.find(module, at);
    EXPECT_NE(std::string::npos, at) << module;
  }
  EXPECT_EQ(1, r.exit_status);

  r = runQuilloxAt(service, {"awb", "--verbose", "x\"y"});
  EXPECT_EQ(dumpFrame("awb",
                      "[awb]\n"
                      "  mode               : auto\n"
                      "  cct                : 5120 K\n"
                      "  gain_r             : 1.8203\n"
                      "  gain_gr            : 1.0000\n"
                      "  gain_gb            : 1.0000\n"
                      "  gain_b             : 1.5078\n"
                      "  moduleArgs         : (2) \"--verbose\" \"x\"y\"\n"),
            r.out);

  r = runQuilloxAt(service, {"nosuch"});
  EXPECT_EQ(dumpFrame("nosuch", "tqzel: unknown module \"nosuch\"\n"), r.out);
  r = runQuilloxAt(service, {"--uri", "cfg", "a"});
  EXPECT_EQ(dumpFrame("", "TQZEL uri /cam/tqzel/cfg\n  uriArgs            : (1) \"a\"\n"), r.out);

  EXPECT_EQ(0, service.stop());
  std::string log = service.log();
  EXPECT_NE(std::string::npos,
            log.find("request type 5, 1024 bytes: uri \"dump\", json {\"module\":\"all\"}"))
      << log;
  EXPECT_NE(std::string::npos,
            log.find("json {\"module\":\"awb\", \"moduleArgs\":[\"--verbose\",\"x\\\"y\"]}"))
      << log;
}

TEST(QuilloxWithService, AnnouncedSizeAndAShortDump) {
  {
    ServiceProcess service({"--port", "0", "--size", "2000000", "--delay", "200"});
    ASSERT_TRUE(service.ready()) << service.log();
    ProgramResult r = runQuilloxAt(service, {"ae"});
    const std::string warning = "Received message size exceeds reception buffer size! \n";
    const std::string footer = dumpFooter("ae") + warning;
    ASSERT_EQ(dumpFrame("ae", "").size() + 2000000 + warning.size(), r.out.size());
    EXPECT_EQ(0u, r.out.find(dumpHeader("ae") + "[ae]\n  mode"));
    EXPECT_EQ(footer, r.out.substr(r.out.size() - footer.size()));
    EXPECT_EQ(1, r.exit_status);
  }
  ServiceProcess service({"--port", "0", "--size", "5000", "--send-only", "100"});
  ASSERT_TRUE(service.ready()) << service.log();
  ProgramResult r = runQuilloxAt(service, {"ae"});
  EXPECT_EQ(dumpFrame("ae", "") +
                "receiveDump: 100 of 5000 announced dump bytes received; connection closed\n",
            r.out);
  EXPECT_EQ(1, r.exit_status);
}

// The service closes before or after the request arrives, so the request or the head fails.
TEST(QuilloxWithService, AServiceThatClosesAtOnce) {
  ServiceProcess service({"--port", "0", "--close-at-once"});
  ASSERT_TRUE(service.ready()) << service.log();
  ProgramResult r = runQuilloxAt(service, {});
  const std::string frame = dumpFrame("all", "");
  ASSERT_EQ(0u, r.out.find(frame)) << r.out;
  const std::string said = r.out.substr(frame.size());
  const std::string head = "receiveDumpMessage: 0 of 8 message head bytes received; ";
  EXPECT_TRUE(said == head + "Connection reset by peer\n" || said == head + "connection closed\n" ||
              said ==
                  "sendDump: send_message failed\n"
                  "start: Confirm TQZEL has been initialized and running?\n")
      << said;
  EXPECT_EQ(1, r.exit_status);
}

// The receive time-out of the socket that process `pid` holds connected to `port`, read from a
// copy of its descriptor (pidfd_getfd); -1 when there is none.
long receive_timeout_of(pid_t pid, int port) {
  OwnedFd process((int)syscall(SYS_pidfd_open, pid, 0));
  if (!process.valid()) return -1;
  const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
  DIR *fds = opendir(dir.c_str());
  long timeout = -1;
  for (struct dirent *e; fds != nullptr && timeout < 0 && (e = readdir(fds)) != nullptr;) {
    char link[64] = {};
    if (readlink((dir + "/" + e->d_name).c_str(), link, sizeof(link) - 1) <= 0 ||
        strncmp(link, "socket:", 7) != 0) {
      continue;
    }
    OwnedFd copy((int)syscall(SYS_pidfd_getfd, process.get(), atoi(e->d_name), 0));
    struct sockaddr_in peer = {};
    socklen_t length = sizeof(peer);
    struct timeval limit = {};
    socklen_t size = sizeof(limit);
    if (copy.valid() && getpeername(copy.get(), (struct sockaddr *)&peer, &length) == 0 &&
        peer.sin_family == AF_INET && ntohs(peer.sin_port) == port &&
        getsockopt(copy.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, &size) == 0) {
      timeout = limit.tv_sec + (limit.tv_usec > 0);
    }
  }
  if (fds != nullptr) closedir(fds);
  return timeout;
}

// QUILLOX_TIMEOUT=0 leaves quillox's socket without a receive time-out, so it waits for an
// answer until the service goes away; a whole number, read in decimal, becomes the socket's
// time-out; unset, empty or anything else (said on standard error), it is 30 s.
TEST(QuilloxWithService, QuilloxTimeoutBecomesTheSocketsReceiveTimeout) {
  const struct {
    const char *value;  // null: unset
    long timeout;
    std::string err;
  } cases[] = {
      {"0", 0, ""},
      {"010", 10, ""},
      {nullptr, 30, ""},
      {"", 30, ""},
      {"5s", 30,
       "quillox: QUILLOX_TIMEOUT=\"5s\" is not a whole number from 0 to 86400; 30 is used\n"},
  };
  for (const auto &c : cases) {
    const std::string name = c.value != nullptr ? c.value : "unset";
    ServiceProcess service({"--port", "0", "--never-answer"});
    ASSERT_TRUE(service.ready()) << service.log();
    std::map<std::string, std::string> env;
    if (c.value != nullptr) env["QUILLOX_TIMEOUT"] = c.value;
    ProgramRun run = quilloxAt(service, {}, env);
    long timeout = -2;
    run.while_running = [&](pid_t pid) {
      ASSERT_TRUE(
          wait_until([&] { return service.log().find("not answering") != std::string::npos; }, 60));
      timeout = receive_timeout_of(pid, service.port());
      EXPECT_EQ(0, service.stop());
    };
    ProgramResult r = run_program(run);
    EXPECT_EQ(c.timeout, timeout) << "QUILLOX_TIMEOUT " << name;
    EXPECT_EQ(c.err, r.err) << name;
    EXPECT_EQ(dumpFrame("all", "") +
                  "receiveDumpMessage: 0 of 8 message head bytes received; connection closed\n",
              r.out)
        << name;
    EXPECT_EQ(1, r.exit_status) << name;
  }
}

}  // namespace
