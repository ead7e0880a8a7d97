// quillox against the staged tqzel-sim on a free port, with the service's fault injection.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "dump_frame.h"
#include "monotonic_clock.h"
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

// QUILLOX_TIMEOUT=0: quillox waits for an answer until the service goes away. Only a window can
// show that no time-out ends the wait early; three seconds keep it short.
TEST(QuilloxWithService, WithoutATimeoutAServiceThatNeverAnswersKeepsQuilloxWaiting) {
  ServiceProcess service({"--port", "0", "--never-answer"});
  ASSERT_TRUE(service.ready()) << service.log();
  ProgramRun run = quilloxAt(service, {}, {{"QUILLOX_TIMEOUT", "0"}});
  run.timeout_s = 3;
  ProgramResult r = run_program(run);
  EXPECT_TRUE(r.timed_out);

  run.timeout_s = 60;
  run.while_running = [&](pid_t) {
    wait_until([&] { return count_occurrences(service.log(), "not answering") == 2; }, 60);
    EXPECT_EQ(0, service.stop());
  };
  r = run_program(run);
  EXPECT_EQ(dumpFrame("all", "") +
                "receiveDumpMessage: 0 of 8 message head bytes received; connection closed\n",
            r.out);
  EXPECT_EQ(1, r.exit_status);
}

}  // namespace
