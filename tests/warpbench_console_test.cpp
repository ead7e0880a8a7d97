// The key console (-t) driven through a pseudo-terminal: key lines, the terminal's modes, the way
// the console ends, and one exercise through its key.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <memory>
#include <regex>

#include "pty_session.h"
#include "warpbench_fixture.h"

namespace {

using nlohmann::json;

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

  std::vector<json> mesh_sets() { return trace_of("set_mesh_config"); }
};

// Standard output without the main thread's rate lines, which may fall between any two lines.
std::string without_rate_lines(const std::string &text) {
  return std::regex_replace(text, std::regex("warpbench Current fps: [^\n]*\n"), "");
}

// Lines of `text` that match `pattern` whole.
std::vector<std::string> matching_lines(const std::string &text, const std::string &pattern) {
  std::vector<std::string> found;
  std::istringstream in(text);
  const std::regex re(pattern);
  for (std::string line; std::getline(in, line);) {
    if (std::regex_match(line, re)) found.push_back(line);
  }
  return found;
}

TEST_F(Console, UnsupportedKeysAreNamedAndChangeNothing) {
  auto s = start(args(0));
  s->send("7q\n");
  ASSERT_TRUE(s->wait_for_output("press key=[\n]\n", 30));
  ASSERT_TRUE(wait_until([&] { return s->errors().find("10\n") != std::string::npos; }, 30));
  std::string out = without_rate_lines(s->output());
  size_t seven = out.find("press key=[7]\n");
  ASSERT_NE(std::string::npos, seven);
  EXPECT_EQ("press key=[7]\npress key=[q]\npress key=[\n]\n", out.substr(seven));
  ProgramResult r = interrupt(*s);
  EXPECT_EQ("Not support key 55\nNot support key 113\nNot support key 10\n", r.err);
  EXPECT_TRUE(trace_of("set_cfg").empty());
  EXPECT_TRUE(mesh_sets().empty());
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
  // Nothing marks the wait itself; a short window shows that the end does not come by itself.
  usleep(100000);
  EXPECT_TRUE(s->running()) << "the console holds the end until a key arrives";
  EXPECT_EQ("process", trace_ops().back()) << "nothing torn down yet";
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

// Each key runs its exercise under its banner, and a failed exercise is named on standard error.
// Without the mesh files the exercises of keys 3 to 5 fail at their first iteration.
TEST_F(Console, EachKeyRunsItsExerciseUnderItsBanner) {
  unlink(level000().c_str());
  unlink(level200().c_str());
  auto s = start(args(0));
  s->send("123456");
  ASSERT_TRUE(s->wait_for_output("Get mesh online_config: level: 0\n", 60));
  ProgramResult r = interrupt(*s);
  EXPECT_EQ((std::vector<std::string>{
                "press key=[1]", "==== set_cfg API Test ====", "press key=[2]",
                "==== set_mesh API Test: Online Mesh Generation ====", "press key=[3]",
                "==== set_mesh API Test: Mesh from file ====", "press key=[4]",
                "==== set_mesh API Test: Mesh from vaddr ====", "press key=[5]",
                "==== set_mesh API Test: Mesh from DMA FD ====", "press key=[6]",
                "==== get_mesh API Test: Get mesh config ===="}),
            matching_lines(r.out, "press key=.*|==== .* ===="));
  EXPECT_EQ(10u, matching_lines(r.out, "set cfg: correct_level = (0|200)").size());
  const std::string missing = "failed: No such file or directory\n";
  EXPECT_EQ("Set mesh config " + missing + "File-based config test failed\n" + "open file " +
                level000() + " " + missing + "Load " + level000() + " " + missing +
                "Virtual address config test failed\n" + "open file " + level000() + " " + missing +
                "Load " + level000() + " " + missing + "DMA FD config test failed\n",
            r.err);
}

TEST_F(Console, SilentConsolePrintsNothing) {
  auto s = start(args(0, {"-s", "--stream-count", "30"}));
  s->send("67q");
  ASSERT_TRUE(wait_until([&] { return trace_of("get_mesh_config").size() == 1; }, 30));
  ProgramResult r = finish(*s, 30);
  EXPECT_EQ("", r.err);
  std::istringstream out(r.out);
  for (std::string line; std::getline(out, line);) {
    EXPECT_EQ(0u, line.find("handle = ")) << "only the DRM back end's own lines: " << line;
  }
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

// One exercise through its key, on both allocator back ends: key 5 loads the run's own mesh
// buffers while frames flow, bracketed by syncs where the back end needs them. The exercises
// themselves are tested in-process (warpbench/mesh_exercises_test.cpp).
class ConsoleMeshMemory : public Console, public testing::WithParamInterface<Backend> {};

TEST_P(ConsoleMeshMemory, KeyFiveLoadsTheRunsMeshBuffers) {
  mBackend = GetParam();
  auto s = start(args(0, {"--stream-count", "40"}));
  s->send("5");
  ASSERT_TRUE(wait_until([&] { return mesh_sets().size() == 10; }, 60));
  ProgramResult r = finish(*s, 40);
  EXPECT_EQ("", r.err);

  std::vector<std::string> mesh_fds;
  const std::regex mesh_fd_line("mesh fd:([0-9]+) size:54");
  for (const std::string &line : matching_lines(r.out, "mesh fd:[0-9]+ size:54")) {
    std::smatch m;
    std::regex_match(line, m, mesh_fd_line);
    mesh_fds.push_back(m[1]);
  }
  ASSERT_EQ(2u, mesh_fds.size());
  std::vector<std::string> loaded = matching_lines(r.out, "Loaded .* with DMA FD [0-9]+");
  ASSERT_EQ(10u, loaded.size());
  for (size_t i = 0; i < loaded.size(); ++i) {
    const bool first = i % 2 == 0;
    EXPECT_EQ("Loaded " + (first ? level000() : level200()) + " with DMA FD " + mesh_fds[i % 2],
              loaded[i]);
  }
  // Ten loads into the mesh buffers on top of the input picture's one.
  json want = GetParam() == Backend::Drm ? json::parse(R"({"1":0,"2":0,"5":0,"6":0})")
                                         : json::parse(R"({"1":0,"2":11,"5":0,"6":11})");
  EXPECT_EQ(want, device_report()["sync"]);
}

// Every key in a row while frames flow, on both back ends: the console's calls, the frame loop
// and the library's threads all at once, which the ThreadSanitizer build runs too.
TEST_P(ConsoleMeshMemory, EveryKeyRunsWhileFramesFlow) {
  mBackend = GetParam();
  auto s = start(args(0));
  s->send("123456");
  ASSERT_TRUE(s->wait_for_output("Get mesh online_config: level: ", 120));
  kill(s->pid(), SIGINT);
  ProgramResult r = s->wait(30);
  EXPECT_EQ(SIGINT, r.signal);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(10u, trace_of("set_cfg").size());
  EXPECT_EQ(40u, mesh_sets().size()) << "keys 2 to 5, ten calls each";
  for (const json &call : mesh_sets()) EXPECT_EQ(0, call["ret"]) << call;
  // The teardown ran: the library's allocator takes its buffers back last, the device its own.
  EXPECT_EQ(GetParam() == Backend::Drm ? "deinit" : "vb_deinit", trace_ops().back());
  if (GetParam() == Backend::Drm) expect_device_clean();
}

INSTANTIATE_TEST_SUITE_P(BothBackends, ConsoleMeshMemory,
                         testing::Values(Backend::Drm, Backend::Library),
                         [](const testing::TestParamInfo<Backend> &p) {
                           return p.param == Backend::Drm ? "DrmDevice" : "LibraryAllocator";
                         });

}  // namespace
