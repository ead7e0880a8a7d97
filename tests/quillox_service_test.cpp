// quillox against the staged tqzel-sim on port 4894, with the service's fault injection.
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

TEST(QuilloxWithService, AllModulesOneModuleAndAnUnknownOne) {
  ServiceProcess service({});
  ASSERT_TRUE(service.ready()) << service.log();
  ASSERT_EQ(kServicePort, service.port());

  ProgramResult r = runQuillox({});
  EXPECT_EQ(0u, r.out.find(dumpHeader("all") + "TQZEL v3.1.4 (simulated)")) << r.out;
  size_t at = 0;
  for (const char *module : {"[ae]", "[awb]", "[ccm]", "[gamma]", "[lsc]", "[nr]", "[sharp]"}) {
    at = r.out.find(module, at);
    EXPECT_NE(std::string::npos, at) << module;
  }
  EXPECT_EQ(1, r.exit_status);

  r = runQuillox({"awb", "--verbose", "x\"y"});
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

  r = runQuillox({"nosuch"});
  EXPECT_EQ(dumpFrame("nosuch", "tqzel: unknown module \"nosuch\"\n"), r.out);
  r = runQuillox({"--uri", "cfg", "a"});
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
    ServiceProcess service({"--size", "2000000", "--delay", "200"});
    ASSERT_TRUE(service.ready()) << service.log();
    ProgramResult r = runQuillox({"ae"});
    const std::string warning = "Received message size exceeds reception buffer size! \n";
    const std::string footer = dumpFooter("ae") + warning;
    ASSERT_EQ(dumpFrame("ae", "").size() + 2000000 + warning.size(), r.out.size());
    EXPECT_EQ(0u, r.out.find(dumpHeader("ae") + "[ae]\n  mode"));
    EXPECT_EQ(footer, r.out.substr(r.out.size() - footer.size()));
    EXPECT_EQ(1, r.exit_status);
  }
  ServiceProcess service({"--size", "5000", "--send-only", "100"});
  ASSERT_TRUE(service.ready()) << service.log();
  ProgramResult r = runQuillox({"ae"});
  EXPECT_EQ(dumpFrame("ae", ""), r.out);
  EXPECT_EQ(1, r.exit_status);
}

TEST(QuilloxWithService, AServiceThatClosesAtOnce) {
  ServiceProcess service({"--close-at-once"});
  ASSERT_TRUE(service.ready()) << service.log();
  ProgramResult r = runQuillox({});
  EXPECT_EQ(dumpFrame("all", ""), r.out);
  EXPECT_EQ(1, r.exit_status);
}

// No time-out: quillox waits for an answer until the service goes away. Only a window can show
// that no time-out ends the wait early; three seconds keep it short.
TEST(QuilloxWithService, AServiceThatNeverAnswersKeepsQuilloxWaiting) {
  ServiceProcess service({"--never-answer"});
  ASSERT_TRUE(service.ready()) << service.log();
  ProgramRun run = quilloxRun({});
  run.timeout_s = 3;
  ProgramResult r = run_program(run);
  EXPECT_TRUE(r.timed_out);

  run.timeout_s = 60;
  run.while_running = [&](pid_t) {
    wait_until([&] { return count_occurrences(service.log(), "not answering") == 2; }, 60);
    EXPECT_EQ(0, service.stop());
  };
  r = run_program(run);
  EXPECT_EQ(dumpFrame("all", ""), r.out);
  EXPECT_EQ(1, r.exit_status);
}

}  // namespace
