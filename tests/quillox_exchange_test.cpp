// quillox against a tuning service played inside the test on a free port: the exact request bytes,
// the frame around the dump, the command line's modes, and the failures of the exchange.
#include <errno.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dump_frame.h"
#include "fake_tools.h"
#include "golden_text.h"
#include "loopback_socket.h"
#include "monotonic_clock.h"
#include "program_runner.h"
#include "quillox_support.h"
#include "staged_install.h"
#include "tuning_message.h"

namespace {

const char kAbsent[] =
    "connect failed, reason: Connection refused \n"
    "sendDump: not initialized \n"
    "start: Confirm TQZEL has been initialized and running?\n";
const char kSizeWarning[] = "Received message size exceeds reception buffer size! \n";

// The request as it crosses the wire: type 5, length 1024, the text and zero fill.
std::string requestBytes(const std::string &text) {
  std::string payload(1024, '\0');
  payload.replace(0, std::min<size_t>(text.size(), 1023), text.substr(0, 1023));
  return messageHead(5, 1024) + payload;
}

std::string answer(const std::string &dump) {
  return messageHead(9, dump.size()) + dump;
}

// A port on which nobody listens: one the system gave out and took back.
std::string unusedServiceUri() {
  TuningPeer gone("");
  EXPECT_TRUE(gone.listening()) << gone.listenError();
  return gone.uri();
}

class QuilloxExchange : public testing::Test {
 protected:
  // Starts the peer answering with `bytes`, in place of the one before.
  TuningPeer &peer(const std::string &bytes, TuningPeer::Ending ending = TuningPeer::kEnds) {
    mPeer.reset(new TuningPeer(bytes, ending));
    EXPECT_TRUE(mPeer->listening()) << mPeer->listenError();
    return *mPeer;
  }
  // quillox sent to the peer, or to a port where nobody listens before there is one.
  ProgramRun run(const std::vector<std::string> &args,
                 std::map<std::string, std::string> env = {}) {
    env.emplace("QUILLOX_SERVICE", mPeer ? mPeer->uri() : unusedServiceUri());
    return quilloxRun(args, env);
  }
  ProgramResult quillox(const std::vector<std::string> &args,
                        const std::map<std::string, std::string> &env = {}) {
    return run_program(run(args, env));
  }
  std::unique_ptr<TuningPeer> mPeer;
  FakeTools mTools;
};

TEST_F(QuilloxExchange, NoArgumentsAsksForAllAndFramesTheDump) {
  TuningPeer &p = peer(answer("ae: auto\nawb: auto\n"));
  ProgramResult r = quillox({});
  EXPECT_EQ(dumpFrame("all", "ae: auto\nawb: auto\n"), r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ(std::vector<std::string>{requestBytes("/cam/tqzel/dump#{\"module\":\"all\"}#")},
            p.requests());
}

TEST_F(QuilloxExchange, ModuleWithArguments) {
  TuningPeer &p = peer(answer("awb dump"));
  ProgramResult r = quillox({"awb", "a", "b"});
  EXPECT_EQ(dumpFrame("awb", "awb dump"), r.out);
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ(std::vector<std::string>{requestBytes(
                "/cam/tqzel/dump#{\"module\":\"awb\", \"moduleArgs\":[\"a\",\"b\"]}#")},
            p.requests());
}

TEST_F(QuilloxExchange, UriWithAndWithoutArguments) {
  TuningPeer &p = peer(answer("uri dump\n"));
  ProgramResult r = quillox({"--uri", "cfg", "x", "y"});
  EXPECT_EQ(dumpFrame("", "uri dump\n"), r.out) << "uri mode leaves the name empty";
  EXPECT_EQ(1, r.exit_status);
  r = quillox({"--uri", "u"});
  EXPECT_EQ(dumpFrame("", "uri dump\n"), r.out);
  // Options after the uri's argument are uri arguments.
  r = quillox({"--uri", "u", "--freq", "--help"});
  EXPECT_EQ(dumpFrame("", "uri dump\n"), r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ((std::vector<std::string>{
                requestBytes("/cam/tqzel/cfg#{\"uriArgs\":[\"x\",\"y\"]}#"),
                requestBytes("/cam/tqzel/u##"),
                requestBytes("/cam/tqzel/u#{\"uriArgs\":[\"--freq\",\"--help\"]}#"),
            }),
            p.requests());
}

TEST_F(QuilloxExchange, OptionsAfterTheModuleNameAreArguments) {
  TuningPeer &p = peer(answer(""));
  ProgramResult r = quillox({"mod", "--freq", "--help", "--uri", "x", "version"});
  EXPECT_EQ(dumpFrame("mod", ""), r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ(std::vector<std::string>{requestBytes(
                "/cam/tqzel/dump#{\"module\":\"mod\", \"moduleArgs\":[\"--freq\",\"--help\","
                "\"--uri\",\"x\",\"version\"]}#")},
            p.requests());
}

TEST_F(QuilloxExchange, VersionIsAKeywordOnlyAsTheFirstArgument) {
  TuningPeer &p = peer(answer("v"));
  std::map<std::string, std::string> env = {{"LD_LIBRARY_PATH", mTools.dir().path()}};
  ProgramResult r = quillox({"version"}, env);
  EXPECT_EQ(0u, r.out.find("vantrix version:v2.2\n\n")) << r.out;
  EXPECT_EQ(1, r.exit_status);
  r = quillox({"version", "--list"}, env);
  EXPECT_EQ(0u, r.out.find("vantrix version:v2.2\n\n")) << r.out;
  EXPECT_TRUE(p.requests().empty());

  r = quillox({"--list", "version"});
  EXPECT_EQ(dumpFrame("version", "v"), r.out);
  EXPECT_EQ(std::vector<std::string>{requestBytes("/cam/tqzel/dump#{\"module\":\"version\"}#")},
            p.requests());
}

// The first rule that matches decides: clock, memory, version, then the service dump.
TEST_F(QuilloxExchange, TheModeRulesApplyInOrder) {
  TuningPeer &p = peer(answer("should not be asked"));
  mTools.kernelFile("/sys/devices/system/cpu/cpu1/cpufreq/scaling_cur_freq", "1416000\n");
  mTools.freeOutput("Mem: 1 2 3\n");
  mTools.dir().write("libtqzel.so", std::string("TQZEL v1\0ZEL v2\0", 16));
  std::map<std::string, std::string> env = {{"PATH", mTools.searchPath()},
                                            {"LD_LIBRARY_PATH", mTools.dir().path()}};
  const std::string clock = "-----------------  cpu freq  -----------------\n1416000\n\n";
  const std::string memory = "-----------------  memory info  -----------------\nMem: 1 2 3\n\n";
  const std::string version =
      "vantrix version:v2.2\n\n----------------- libtqzel version -----------------\n";
  struct {
    std::vector<std::string> args;
    std::string starts;
  } cases[] = {
      {{"--freq", "--mem"}, clock},
      {{"--mem", "--freq"}, clock},
      {{"--freq", "--uri", "u"}, clock},
      {{"--mem", "--version"}, memory},
      {{"--version", "--mem", "--uri", "u", "x"}, memory},
      {{"--version"}, version + "TQZEL v1\n\n"},
      {{"--version", "--list"}, version + "TQZEL v1\nZEL v2\n\n"},
      {{"--list", "--version"}, version + "TQZEL v1\nZEL v2\n\n"},
      {{"version", "--list"}, version + "TQZEL v1\n\n"},
  };
  for (const auto &c : cases) {
    ProgramResult r = quillox(c.args, env);
    EXPECT_EQ(0u, r.out.find(c.starts)) << c.args[0] << " " << c.args[1] << ":\n" << r.out;
    EXPECT_EQ(1, r.exit_status);
  }
  EXPECT_TRUE(p.requests().empty());
}

TEST_F(QuilloxExchange, HelpBeforeTheFirstPositionalArgumentEndsAtOnce) {
  TuningPeer &p = peer(answer("x"));
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"--help"}, {"--list", "--help", "mod"}, {"--freq", "--help"}, {"--help", "--uri"}}) {
    ProgramResult r = quillox(args);
    EXPECT_EQ(golden_text("quillox.usage"), r.err) << args[0];
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0, r.exit_status);
  }
  EXPECT_TRUE(p.requests().empty());

  ProgramResult r = quillox({"mod", "--help"});
  EXPECT_EQ("", r.err);
  EXPECT_EQ(dumpFrame("mod", "x"), r.out);
  EXPECT_EQ(std::vector<std::string>{requestBytes(
                "/cam/tqzel/dump#{\"module\":\"mod\", \"moduleArgs\":[\"--help\"]}#")},
            p.requests());
}

TEST_F(QuilloxExchange, ABadOptionShowsTheUsageAndParsingGoesOn) {
  TuningPeer &p = peer(answer("x"));
  const std::string program = staged_program("quillox");
  ProgramResult r = quillox({"--bogus", "--list", "mod"});
  EXPECT_EQ(program + ": unrecognized option '--bogus'\n\n" + golden_text("quillox.usage"), r.err);
  EXPECT_EQ(dumpFrame("mod", "x"), r.out);
  EXPECT_EQ(1, r.exit_status);

  r = quillox({"--uri"});
  EXPECT_EQ(program + ": option '--uri' requires an argument\n\n" + golden_text("quillox.usage"),
            r.err);
  EXPECT_EQ(dumpFrame("", "x"), r.out);
  EXPECT_EQ((std::vector<std::string>{requestBytes("/cam/tqzel/dump#{\"module\":\"mod\"}#"),
                                      requestBytes("/cam/tqzel/dump##")}),
            p.requests());
}

// The connection must not take the place of a closed standard stream: on 0 it would be taken for
// no connection, on 1 the frame would go back to the service.
TEST_F(QuilloxExchange, ClosedStandardStreamsAreNotTakenByTheConnection) {
  TuningPeer &p = peer(answer("dump"));
  for (int stream : {0, 1}) {
    ProgramRun closed = run({"awb"});
    closed.closed_streams = {stream};
    ProgramResult r = run_program(closed);
    EXPECT_EQ(stream == 1 ? "" : dumpFrame("awb", "dump"), r.out) << stream;
    EXPECT_EQ("", r.err) << stream;
    EXPECT_EQ(1, r.exit_status) << stream;
  }
  ASSERT_TRUE(wait_until([&] { return p.served() == 2; }, 60));
  const std::string request = requestBytes("/cam/tqzel/dump#{\"module\":\"awb\"}#");
  EXPECT_EQ((std::vector<std::string>{request, request}), p.requests());
}

TEST_F(QuilloxExchange, ADumpOfZeroBytes) {
  peer(answer(""));
  ProgramResult r = quillox({});
  EXPECT_EQ(dumpFrame("all", ""), r.out);
  EXPECT_EQ(1, r.exit_status);
}

// The warning goes through stdio, so with output to a pipe it comes after the frame.
TEST_F(QuilloxExchange, ADumpOfMoreThanOneMebibyteIsWarnedAboutAndReceivedWhole) {
  std::string dump(0x100001, '\0');
  for (size_t i = 0; i < dump.size(); ++i) dump[i] = (char)(i % 251);
  peer(answer(dump));
  ProgramResult r = quillox({});
  EXPECT_TRUE(r.out == dumpFrame("all", dump) + kSizeWarning) << r.out.size();
  EXPECT_EQ(1, r.exit_status);

  peer(answer(std::string(0x100000, 'z')));
  r = quillox({});
  EXPECT_TRUE(r.out == dumpFrame("all", std::string(0x100000, 'z'))) << "no warning at 1 MiB";
}

TEST_F(QuilloxExchange, ServiceAbsent) {
  ProgramResult r = quillox({});
  EXPECT_EQ(dumpFrame("all", "") + kAbsent, r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, r.exit_status);
}

// A reception cut short, by the end of the connection or by the idle time-out, ends with the
// empty frame and says how much of what arrived.
TEST_F(QuilloxExchange, AReceptionCutShortSaysHowFarItGot) {
  const std::string head = messageHead(9, 100);
  const std::string timeout = "time-out: no progress for 1 s (QUILLOX_TIMEOUT)\n";
  const std::string dumpCut = "receiveDump: 10 of 100 announced dump bytes received; ";
  struct {
    std::string answer;
    TuningPeer::Ending ending;
    std::string said;
  } cases[] = {
      {head + "only ten b", TuningPeer::kEnds, dumpCut + "connection closed\n"},
      {head.substr(0, 6), TuningPeer::kEnds,
       "receiveDumpMessage: 6 of 8 message head bytes received; connection closed\n"},
      {"", TuningPeer::kEnds,
       "receiveDumpMessage: 0 of 8 message head bytes received; connection closed\n"},
      {"", TuningPeer::kHolds,
       "receiveDumpMessage: 0 of 8 message head bytes received; " + timeout},
      {head.substr(0, 3), TuningPeer::kHolds,
       "receiveDumpMessage: 3 of 8 message head bytes received; " + timeout},
      {head + "only ten b", TuningPeer::kHolds, dumpCut + timeout},
  };
  for (const auto &c : cases) {
    peer(c.answer, c.ending);
    ProgramRun stalled = run({"awb"}, {{"QUILLOX_TIMEOUT", "1"}});
    stalled.timeout_s = 30;
    ProgramResult r = run_program(stalled);
    EXPECT_EQ(dumpFrame("awb", "") + c.said, r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(1, r.exit_status);
  }
}

// A setting that is not a whole number in its range is named on standard error, and its default
// is used.
TEST_F(QuilloxExchange, BadSettingsAreReportedAndTheirDefaultsUsed) {
  TuningPeer &p = peer(answer("ok"));
  const std::string timeout = " is not a whole number from 0 to 86400; 30 is used\n";
  const std::string maxDump = " is not a whole number from 1 to 4096; 256 is used\n";
  struct {
    std::string variable, value, err;
  } cases[] = {
      {"QUILLOX_TIMEOUT", "soon", "quillox: QUILLOX_TIMEOUT=\"soon\"" + timeout},
      {"QUILLOX_TIMEOUT", " 5", "quillox: QUILLOX_TIMEOUT=\" 5\"" + timeout},
      {"QUILLOX_TIMEOUT", "+5", "quillox: QUILLOX_TIMEOUT=\"+5\"" + timeout},
      {"QUILLOX_TIMEOUT", "86401", "quillox: QUILLOX_TIMEOUT=\"86401\"" + timeout},
      {"QUILLOX_TIMEOUT", "86400", ""},
      {"QUILLOX_MAX_DUMP", "0", "quillox: QUILLOX_MAX_DUMP=\"0\"" + maxDump},
      {"QUILLOX_MAX_DUMP", "4097", "quillox: QUILLOX_MAX_DUMP=\"4097\"" + maxDump},
      {"QUILLOX_MAX_DUMP", "4096", ""},
  };
  for (const auto &c : cases) {
    ProgramResult r = quillox({}, {{c.variable, c.value}});
    EXPECT_EQ(c.err, r.err) << c.variable << "=" << c.value;
    EXPECT_EQ(dumpFrame("all", "ok"), r.out);
  }
  EXPECT_EQ(sizeof(cases) / sizeof(cases[0]), p.requests().size());
}

// A connection that is never accepted: the local listener's queue is full.
TEST_F(QuilloxExchange, AConnectThatMakesNoProgressEndsAtTheTimeout) {
  ScratchDir dir;
  const std::string path = dir.file("full.sock");
  OwnedFd listener = listen_local(path);
  ASSERT_TRUE(listener.valid()) << strerror(errno);
  std::vector<OwnedFd> queued;
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
  int error = 0;
  while (error == 0) {
    OwnedFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (connect(fd.get(), (struct sockaddr *)&address, sizeof(address)) == 0) {
      queued.push_back(std::move(fd));
    } else {
      error = errno;
    }
  }
  ASSERT_EQ(EAGAIN, error) << strerror(error);
  ProgramResult r =
      quillox({}, {{"QUILLOX_SERVICE", "domain://" + path}, {"QUILLOX_TIMEOUT", "1"}});
  EXPECT_EQ(dumpFrame("all", "") +
                "init: connect failed, reason: time-out: no progress for 1 s (QUILLOX_TIMEOUT) \n"
                "sendDump: not initialized \n"
                "start: Confirm TQZEL has been initialized and running?\n",
            r.out);
  EXPECT_EQ(1, r.exit_status);
}

// A local socket's path over the 107 bytes its address holds fails as a connection does, even
// with a listener at the path cut to 107 bytes; the length said is the whole path's.
TEST_F(QuilloxExchange, ASocketPathOverTheAddressLimitIsRefused) {
  ScratchDir dir;
  std::string cut = dir.path() + "/";
  cut += std::string(107 - cut.size(), 's');
  OwnedFd listener = listen_local(cut);
  ASSERT_TRUE(listener.valid()) << strerror(errno);
  for (size_t length : {108, 2000}) {
    const std::string path = cut + std::string(length - cut.size(), 'x');
    ProgramResult r =
        quillox({}, {{"QUILLOX_SERVICE", "domain://" + path}, {"QUILLOX_TIMEOUT", "1"}});
    EXPECT_EQ(dumpFrame("all", "") + "init: connect failed, reason: the socket path is " +
                  std::to_string(length) +
                  " bytes long, over the limit of 107 \n"
                  "sendDump: not initialized \n"
                  "start: Confirm TQZEL has been initialized and running?\n",
              r.out);
    EXPECT_EQ(1, r.exit_status);
  }
  struct pollfd waiting = {listener.get(), POLLIN, 0};
  EXPECT_EQ(0, poll(&waiting, 1, 0)) << "quillox connected to the cut path";
}

// An announced size over the limit, 256 MiB or QUILLOX_MAX_DUMP MiB, ends the reception before
// anything is allocated: no real dump comes near it.
TEST_F(QuilloxExchange, AnnouncedSizesOverTheLimitAreRefused) {
  const std::string refused = "DumpClientReceiveDump: refusing a dump of ";
  const std::string cut = "receiveDump: 8 of ";
  const std::string closed = " announced dump bytes received; connection closed\n";
  struct {
    uint32_t size;
    std::string maxDump;
    std::string said;
  } cases[] = {
      {0xffffffffu, "",
       refused + "4294967295 bytes, over the limit of 256 MiB (QUILLOX_MAX_DUMP)\n"},
      {(256u << 20) + 1, "",
       refused + "268435457 bytes, over the limit of 256 MiB (QUILLOX_MAX_DUMP)\n"},
      {256u << 20, "", cut + "268435456" + closed},
      {(256u << 20) + 1, "257", cut + "268435457" + closed},
      {(1u << 20) + 1, "1",
       refused + "1048577 bytes, over the limit of 1 MiB (QUILLOX_MAX_DUMP)\n"},
  };
  for (const auto &c : cases) {
    peer(messageHead(9, c.size) + "a little");
    ProgramResult r = quillox({}, {{"QUILLOX_MAX_DUMP", c.maxDump}});
    EXPECT_EQ(dumpFrame("all", "") + kSizeWarning + c.said, r.out) << c.size;
    EXPECT_EQ("", r.err);
    EXPECT_EQ(1, r.exit_status);
  }
}

// An announced size that cannot be allocated ends the reception instead of the program. The
// sanitizer's allocator is told to fail such an allocation as the C library's would.
TEST_F(QuilloxExchange, ASizeThatCannotBeAllocated) {
#ifndef QUILLOX_TESTS_SANITIZED
  GTEST_SKIP() << "needs the sanitizer build, whose allocator can be told to fail";
#endif
  peer(messageHead(9, 0xffffffffu) + "a little");
  const char *asan = getenv("ASAN_OPTIONS");
  std::string options = std::string(asan != nullptr ? asan : "") +
                        ":allocator_may_return_null=1:max_allocation_size_mb=1024";
  ProgramResult r = quillox({}, {{"ASAN_OPTIONS", options}, {"QUILLOX_MAX_DUMP", "4096"}});
  EXPECT_EQ(dumpFrame("all", "") + kSizeWarning +
                "DumpClientReceiveDump: cannot allocate 4294967295 bytes for the dump\n",
            r.out);
  // The sanitizer notes the failed allocation itself; nothing else goes to standard error.
  std::istringstream lines(r.err);
  std::string other;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("AddressSanitizer failed to allocate 0xffffffff bytes") == std::string::npos) {
      other += line + "\n";
    }
  }
  EXPECT_EQ("", other) << r.err;
  EXPECT_EQ(1, r.exit_status);
}

// '#' separates the request's parts, so inside the JSON it is escaped too.
TEST_F(QuilloxExchange, QuotesBackslashesControlCharactersAndHashesAreEscaped) {
  TuningPeer &p = peer(answer("ok"));
  ProgramResult r = quillox({"m\"od", "a\",\"module\":\"evil", "c\\d", "e\nf\x01", "#x#"});
  EXPECT_EQ(dumpFrame("m\"od", "ok"), r.out) << "the header shows the name as given";
  EXPECT_EQ(std::vector<std::string>{requestBytes(
                "/cam/tqzel/dump#{\"module\":\"m\\\"od\", \"moduleArgs\":[\"a\\\",\\\"module\\\":"
                "\\\"evil\",\"c\\\\d\",\"e\\u000af\\u0001\",\"\\u0023x\\u0023\"]}#")},
            p.requests());
}

// A request text fits its 1024-byte buffer with a terminator, or it is not sent: nothing is cut.
// "/cam/tqzel/dump#{"module":"NAME"}#" is 30 characters more than NAME. A uri name cannot hold
// the separator '#'. The frame's name is cut to 255 characters.
TEST_F(QuilloxExchange, RequestsThatDoNotFitAreRefusedAndLongNamesCutInTheFrame) {
  TuningPeer &p = peer(answer(""));
  struct {
    std::vector<std::string> args;
    std::string err;  // "": sent whole
  } cases[] = {
      {{std::string(992, 'n')}, ""},
      {{std::string(993, 'n')}, ""},
      {{std::string(994, 'n')},
       "quillox: the request text is 1024 bytes long, over the limit of 1023; nothing sent\n"},
      {{"--uri", "u#v", "x"},
       "quillox: the uri name \"u#v\" holds '#', the request's separator; nothing sent\n"},
  };
  std::vector<std::string> sent;
  for (const auto &c : cases) {
    ProgramResult r = quillox(c.args);
    EXPECT_EQ(c.err, r.err) << c.args[0].size();
    if (c.err.empty()) {
      sent.push_back(requestBytes("/cam/tqzel/dump#{\"module\":\"" + c.args[0] + "\"}#"));
      EXPECT_EQ(dumpFrame(c.args[0].substr(0, 255), ""), r.out);
      EXPECT_EQ(1, r.exit_status);
    } else {
      EXPECT_EQ("", r.out);
      EXPECT_EQ(0, r.exit_status);
    }
  }
  EXPECT_TRUE(sent == p.requests()) << p.requests().size() << " requests";
}

TEST_F(QuilloxExchange, AFailedDumpWriteIsReportedAndEndsWithStatusZero) {
  peer(answer("dump bytes"));
  ProgramRun toFull = run({});
  toFull.stdout_to = "/dev/full";
  ProgramResult r = run_program(toFull);
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ("Failed to write while dumping service all: No space left on device\n", r.err);
}

// Without QUILLOX_SERVICE, or with it empty, quillox asks the service's fixed address. The only
// test on a fixed port: CTest runs it alone as quillox_default_service, under the port's lock.
TEST(QuilloxDefaultService, TheFixedAddressServesWithoutQuilloxService) {
  unsetenv("QUILLOX_SERVICE");
  TuningPeer p(answer("default"), TuningPeer::kEnds, kDefaultServicePort);
  if (!p.listening()) GTEST_SKIP() << "something else holds the port: " << p.listenError();
  for (const std::map<std::string, std::string> &env :
       {std::map<std::string, std::string>{}, {{"QUILLOX_SERVICE", ""}}}) {
    ProgramResult r = runQuillox({}, env);
    EXPECT_EQ(dumpFrame("all", "default"), r.out);
    EXPECT_EQ(1, r.exit_status);
  }
  EXPECT_EQ(2u, p.requests().size());
}

}  // namespace
