// The key console (-t) driven through a pseudo-terminal, for what needs a terminal: its modes, one
// key's banner and failure line, the wait for one more key after the last frame, and the end of
// input. The keys and exercises themselves are tested in-process (warpbench/api_console_test.cpp,
// mesh_exercises_test.cpp, console_run_test.cpp).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <memory>
#include <regex>

#include "pty_session.h"
#include "warpbench_fixture.h"

namespace {

const char kLevel000[] = "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level000.bin";
const char kLevel200[] = "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level200.bin";
const size_t kMeshBytes = 6 * 3 * 3;  // a 64x32 output

class Console : public WarpbenchTest {
 protected:
  void SetUp() override {
    mDir.make_dir("data");
    mDir.write("data/" + std::string(kLevel000), std::string(kMeshBytes, '\0'));
    mDir.write("data/" + std::string(kLevel200), std::string(kMeshBytes, '\x01'));
    write_picture();
    // The default input picture is looked up in the data directory too.
    mDir.write("data/imx415_4k_nv12.yuv", mDir.read("in.yuv"));
  }
  std::string data_dir() const { return mDir.file("data"); }
  std::string level000() const { return data_dir() + "/" + kLevel000; }
  std::string level200() const { return data_dir() + "/" + kLevel200; }

  std::vector<std::string> args(int level, const std::vector<std::string> &more = {}) {
    mDir.write("calib.ini",
               "[fec_online]\nlight_center = 32 16\ncoeff = -40 0 0.001 0\n"
               "direction = 0\nstyle = 0\ncorrect_level = " +
                   std::to_string(level) +
                   "\ncalib_width = 64\ncalib_height = 32\n"
                   "calib_level_maxLimit = 200\n");
    std::vector<std::string> a = {"-v",
                                  "width=64,height=32,pixelformat=NV12",
                                  "-x",
                                  "width=64,height=32,pixelformat=NV12",
                                  "--calib-ini-from",
                                  "calib.ini",
                                  "-t",
                                  "--fps",
                                  "25"};
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }

  std::unique_ptr<PtySession> start(const std::vector<std::string> &a) {
    ProgramRun run = prepare(a);
    run.env["WARPBENCH_DATA_DIR"] = data_dir();
    auto session = std::make_unique<PtySession>(run);
    EXPECT_TRUE(wait_until([&] { return !trace_of("process").empty(); }, 30)) << session->errors();
    // Keys typed before the console has the terminal would be echoed and held for a line.
    EXPECT_TRUE(wait_until([&] { return (session->terminal().c_lflag & ICANON) == 0; }, 30));
    return session;
  }

  // Ends an endless run by SIGINT and checks the normal teardown ran.
  ProgramResult interrupt(PtySession &s) {
    kill(s.pid(), SIGINT);
    ProgramResult r = s.wait(30);
    EXPECT_EQ(SIGINT, r.signal);
    EXPECT_EQ("deinit", trace_ops().back());
    return r;
  }

  // Ends a counted run: after its last frame the console waits for one more key, here one that
  // only reads.
  ProgramResult finish(PtySession &s, size_t frames) {
    EXPECT_TRUE(wait_until([&] { return trace_of("process").size() >= frames; }, 60));
    s.send("6");
    ProgramResult r = s.wait(60);
    EXPECT_EQ(0, r.exit_status);
    return r;
  }
};

// Standard output without the main thread's rate lines, which may fall between any two lines.
std::string without_rate_lines(const std::string &text) {
  return std::regex_replace(text, std::regex("warpbench Current fps: [^\n]*\n"), "");
}

TEST_F(Console, TerminalIsRawWhileRunningAndRestoredAfterSigintAndExit) {
  for (bool by_signal : {true, false}) {
    auto s = start(args(0, by_signal ? std::vector<std::string>{}
                                     : std::vector<std::string>{"--stream-count", "20"}));
    struct termios running = s->terminal();
    EXPECT_EQ(0u, running.c_lflag & ICANON);
    EXPECT_EQ(0u, running.c_lflag & ECHO);
    EXPECT_NE(0u, running.c_lflag & ISIG) << "only ICANON and ECHO are cleared";
    s->send("q");  // not echoed: only the key line shows it
    ASSERT_TRUE(s->wait_for_output("press key=[q]\n", 30));
    EXPECT_EQ(std::string::npos, s->output().find("qpress"));
    if (by_signal) {
      interrupt(*s);
    } else {
      finish(*s, 20);
    }
    struct termios after = s->terminal();
    EXPECT_NE(0u, after.c_lflag & ICANON) << (by_signal ? "after SIGINT" : "after the end");
    EXPECT_NE(0u, after.c_lflag & ECHO);
  }
}

TEST_F(Console, LastFrameWaitsForOneMoreKeyWhichStillRuns) {
  auto s = start(args(0, {"--stream-count", "5"}));
  ASSERT_TRUE(wait_until([&] { return trace_of("process").size() == 5; }, 30));
  // The key comes after the last frame; the library is closed only after the key's exercise.
  s->send("6");
  ProgramResult r = s->wait(30);
  EXPECT_EQ(0, r.exit_status);
  EXPECT_NE(std::string::npos,
            r.out.find("press key=[6]\n"
                       "==== get_mesh API Test: Get mesh config ====\n"
                       "Get mesh config: mode: 0\n"
                       "Get mesh online_config: calib_width: 64, calib_height: 32\n"
                       "Get mesh online_config: optic_center: 32.0000 16.0000\n"
                       "Get mesh online_config: coeff: -40.0000000000000000 0.0000000000000000 "
                       "0.0010000000000000 0.0000000000000000\n"
                       "Get mesh online_config: level: 0\n"))
      << r.out;
  std::vector<std::string> ops = trace_ops();
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ("get_mesh_config", ops[ops.size() - 2]) << "the key ran before the library closed";
  EXPECT_EQ("deinit", ops.back());
}

// A key's line and banner on standard output, its exercise's failure and the key's failure line
// on standard error: without the mesh files, key 3 fails at its first iteration.
TEST_F(Console, AKeyShowsItsBannerAndItsFailureLine) {
  unlink(level000().c_str());
  unlink(level200().c_str());
  auto s = start(args(0));
  s->send("3");
  ASSERT_TRUE(
      wait_until([&] { return s->errors().find("test failed\n") != std::string::npos; }, 30));
  ProgramResult r = interrupt(*s);
  const std::string out = without_rate_lines(r.out);
  EXPECT_NE(std::string::npos,
            out.find("press key=[3]\n==== set_mesh API Test: Mesh from file ====\n"
                     "Get mesh path: \nSet mesh config: " +
                     level000() + "\n"))
      << out;
  EXPECT_EQ("Set mesh config failed: No such file or directory\nFile-based config test failed\n",
            r.err);
}

// At the end of standard input the console says so once and reads no more keys; the frames go on
// and a counted run ends by itself. An input closed altogether is opened on /dev/null.
TEST_F(Console, EndOfInputIsReportedOnceAndTheRunEndsByItself) {
  Pipe writer_gone = make_pipe();
  writer_gone.write_end.reset();
  const struct {
    const char *what;
    int in;  // -1: /dev/null
    bool closed;
    bool silent;
  } cases[] = {
      {"/dev/null", -1, false, false},
      {"a pipe whose writer is gone", writer_gone.read_end.get(), false, false},
      {"closed", -1, true, false},
      {"/dev/null with -s", -1, false, true},
  };
  for (const auto &c : cases) {
    ProgramRun run = prepare(args(0, {"--stream-count", "3"}), 30);
    if (c.silent) run.args.push_back("-s");
    run.env["WARPBENCH_DATA_DIR"] = data_dir();
    run.stdin_fd = c.in;
    if (c.closed) run.closed_streams = {0};
    ProgramResult r = run_program(run);
    EXPECT_FALSE(r.timed_out) << c.what;
    EXPECT_EQ(0, r.exit_status) << c.what;
    EXPECT_EQ(c.silent ? "" : "End of input: no more keys are read\n", r.err) << c.what;
    EXPECT_EQ(std::string::npos, r.out.find("press key")) << c.what;
    EXPECT_EQ(3u, trace_of("process").size()) << c.what;
    EXPECT_EQ("deinit", trace_ops().back()) << c.what;
    expect_device_clean();
  }
}

}  // namespace
