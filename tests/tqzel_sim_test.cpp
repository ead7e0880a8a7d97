// tqzel-sim as its users meet it: its options, its answers on the wire, its faults and its stop.
// It listens on a free port or a local socket here, so these tests need no lock.
#include <errno.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "loopback_socket.h"
#include "monotonic_clock.h"
#include "program_runner.h"
#include "quillox_support.h"
#include "staged_install.h"
#include "tuning_message.h"

namespace {

std::string request(const std::string &text, uint32_t type = 5) {
  std::string payload(1024, '\0');
  payload.replace(0, text.size(), text);
  return messageHead(type, 1024) + payload;
}

// Connects to the service, sends `bytes` and returns all it sends back until it closes, or what
// came before a minute of silence.
std::string talk(const ServiceProcess &service, const std::string &bytes,
                 const std::string &socketPath = "") {
  OwnedFd fd = socketPath.empty() ? connect_loopback(service.port()) : connect_local(socketPath);
  EXPECT_TRUE(fd.valid()) << strerror(errno);
  send(fd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
  std::string out;
  char buf[65536];
  struct pollfd p = {fd.get(), POLLIN, 0};
  while (poll(&p, 1, 60 * 1000) > 0) {
    ssize_t n = recv(fd.get(), buf, sizeof(buf), 0);
    if (n <= 0) break;
    out.append(buf, (size_t)n);
  }
  return out;
}

// The dump of an answer, checked against the size its head announces.
std::string dumpOf(const std::string &answer) {
  EXPECT_GE(answer.size(), 8u);
  if (answer.size() < 8) return "";
  uint32_t size;
  memcpy(&size, &answer[4], 4);
  EXPECT_EQ(size, answer.size() - 8);
  return answer.substr(8);
}

TEST(TqzelSim, HelpDocumentsEveryOption) {
  ProgramRun run;
  run.program = staged_program("tqzel-sim");
  run.args = {"--help"};
  ProgramResult r = run_program(run);
  EXPECT_EQ(0, r.exit_status);
  for (const char *option :
       {"--port N", "--socket PATH", "--delay MS", "--drip MS", "--size N", "--send-only N",
        "--never-answer", "--close-at-once", "--help", "--version"}) {
    EXPECT_NE(std::string::npos, r.out.find(option)) << option;
  }
  run.args = {"--port", "70000"};
  r = run_program(run);
  EXPECT_EQ(2, r.exit_status);
  EXPECT_EQ(0u, r.err.find("tqzel-sim: bad port: 70000\nusage: tqzel-sim")) << r.err;
}

TEST(TqzelSim, AnswersAllAModuleAndAnUnknownModule) {
  ServiceProcess service({"--port", "0"});
  ASSERT_TRUE(service.ready()) << service.log();
  EXPECT_EQ(0u, service.endpoint().find("tcp://127.0.0.1:"));

  std::string all = dumpOf(talk(service, request("/cam/tqzel/dump#{\"module\":\"all\"}#")));
  EXPECT_EQ(0u, all.find("TQZEL v3.1.4 (simulated) tuning dump, 7 modules\n[ae]\n")) << all;
  std::string awb = dumpOf(
      talk(service,
           request("/cam/tqzel/dump#{\"module\":\"awb\", \"moduleArgs\":[\"a\",\"b\\\"c\"]}#")));
  EXPECT_EQ(0u, awb.find("[awb]\n"));
  EXPECT_NE(std::string::npos, awb.find("  moduleArgs         : (2) \"a\" \"b\"c\"\n")) << awb;
  EXPECT_EQ(std::string::npos, awb.find("[ae]"));
  EXPECT_EQ("tqzel: unknown module \"zoom\"\n",
            dumpOf(talk(service, request("/cam/tqzel/dump#{\"module\":\"zoom\"}#"))));
  EXPECT_EQ("tqzel: no module named\n", dumpOf(talk(service, request("/cam/tqzel/dump##"))));
  EXPECT_EQ("tqzel: bad request JSON\n",
            dumpOf(talk(service, request("/cam/tqzel/dump#{\"module\":#"))));
  EXPECT_EQ("tqzel: unsupported message type 6\n",
            dumpOf(talk(service, request("/cam/tqzel/dump##", 6))));

  EXPECT_EQ(0, service.stop());
  std::string log = service.log();
  EXPECT_NE(std::string::npos, log.find("connection 1: request type 5, 1024 bytes: uri \"dump\", "
                                        "json {\"module\":\"all\"}\n"))
      << log;
  EXPECT_NE(std::string::npos, log.find("tqzel-sim: stopped by "));
}

TEST(TqzelSim, ALocalSocketIsRemovedAtTheStop) {
  ScratchDir dir;
  std::string path = dir.file("tqzel.sock");
  ServiceProcess service({"--socket", path});
  ASSERT_TRUE(service.ready()) << service.log();
  EXPECT_EQ("local socket " + path, service.endpoint());
  std::string dump = dumpOf(talk(service, request("/cam/tqzel/dump#{\"module\":\"nr\"}#"), path));
  EXPECT_EQ(0u, dump.find("[nr]\n"));
  struct stat st;
  EXPECT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(0, service.stop());
  EXPECT_NE(0, stat(path.c_str(), &st)) << "the service removes its socket";
}

TEST(TqzelSim, SizeRepeatsTheDumpToItsLength) {
  // --send-only: quillox's own suite meets it.
  ServiceProcess service({"--port", "0", "--size", "300000"});
  ASSERT_TRUE(service.ready()) << service.log();
  std::string dump = dumpOf(talk(service, request("/cam/tqzel/dump#{\"module\":\"ae\"}#")));
  ASSERT_EQ(300000u, dump.size());
  size_t period = dump.find("[ae]", 1);
  ASSERT_NE(std::string::npos, period);
  EXPECT_EQ(dump.substr(0, 300000 - period), dump.substr(period)) << "the text repeats";
}

TEST(TqzelSim, ANeverAnsweringServiceStillStops) {
  // --close-at-once: quillox's own suite meets it.
  ServiceProcess service({"--port", "0", "--never-answer"});
  ASSERT_TRUE(service.ready()) << service.log();
  std::string answer = "none yet";
  std::thread client([&] { answer = talk(service, request("/cam/tqzel/dump##")); });
  EXPECT_TRUE(
      wait_until([&] { return service.log().find("not answering") != std::string::npos; }, 60))
      << service.log();
  EXPECT_EQ(0, service.stop()) << "the stop ends a connection that waits";
  client.join();
  EXPECT_EQ("", answer);
}

TEST(TqzelSim, DelayHoldsTheAnswerBack) {
  ServiceProcess service({"--port", "0", "--delay", "100"});
  ASSERT_TRUE(service.ready()) << service.log();
  // The delay runs from the request's arrival, which comes after this reading of the clock.
  const double asked = monotonic_s();
  EXPECT_EQ("tqzel: no module named\n", dumpOf(talk(service, request("/cam/tqzel/dump##"))));
  EXPECT_GE(monotonic_s() - asked, 0.1);
}

TEST(TqzelSim, DripSendsTheSameAnswerAByteAtATime) {
  ServiceProcess service({"--port", "0", "--size", "12", "--drip", "20"});
  ASSERT_TRUE(service.ready()) << service.log();
  // The first byte goes at once, each of the 19 others after its own wait.
  const double asked = monotonic_s();
  EXPECT_EQ(messageHead(1, 12) + "[ae]\n  mode ",
            talk(service, request("/cam/tqzel/dump#{\"module\":\"ae\"}#")));
  EXPECT_GE(monotonic_s() - asked, 19 * 0.02);
}

}  // namespace
