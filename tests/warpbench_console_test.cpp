// The key console (-t) driven through a pseudo-terminal: key lines, the exercises' effects as the
// stand-in library's trace shows them, the terminal's modes, and the way the console ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
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
    mkdir(data_dir().c_str(), 0755);
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

TEST_F(Console, LevelToggleFlipsWhateverTheLibraryReports) {
  for (int start_level : {0, 100}) {
    auto s = start(args(start_level));
    s->send("1");
    ASSERT_TRUE(s->wait_for_output("set cfg: correct_level = ", 30, 10));
    ASSERT_TRUE(wait_until([&] { return trace_of("set_cfg").size() == 10; }, 30));
    usleep(200000);
    std::vector<int> levels;
    for (const json &j : trace_of("set_cfg")) levels.push_back(j["cfg"]["online"]["correct_level"]);
    std::vector<int> want;
    for (int i = 0; i < 10; ++i) want.push_back((i % 2 == 0) == (start_level == 0) ? 200 : 0);
    EXPECT_EQ(want, levels) << "from " << start_level;
    std::string expected = "==== set_cfg API Test ====\n";
    for (int level : want) expected += "set cfg: correct_level = " + std::to_string(level) + "\n\n";
    EXPECT_NE(std::string::npos, without_rate_lines(s->output()).find(expected)) << s->output();
    interrupt(*s);
  }
}

TEST_F(Console, OnlineMeshTogglesOnlyTheLevel) {
  auto s = start(args(100));
  s->send("2");
  ASSERT_TRUE(wait_until([&] { return mesh_sets().size() == 10; }, 30));
  // The banner, then ten empty lines, one after each iteration.
  ASSERT_TRUE(wait_until(
      [&] {
        return without_rate_lines(s->output())
                   .find("==== set_mesh API Test: Online Mesh Generation ====\n" +
                         std::string(10, '\n')) != std::string::npos;
      },
      30));
  std::vector<json> sets = mesh_sets();
  for (size_t i = 0; i < sets.size(); ++i) {
    json cfg = sets[i]["mesh_cfg"];
    EXPECT_EQ(0, cfg["mode"]);
    EXPECT_EQ(i % 2 == 0 ? 0 : 200, cfg["online_config"]["correct_level"]);
    EXPECT_EQ(json::parse("[32,16]"), cfg["online_config"]["light_center"]) << "as fetched";
    EXPECT_EQ(64, cfg["online_config"]["calib_width"]);
  }
  interrupt(*s);
}

TEST_F(Console, MeshFileAlternatesFromWhatTheLibraryReports) {
  // A reported path that holds the level000 path anywhere leads to level200 first. (The fixed
  // file's own name is too long for the record's file-name field.)
  mkdir((level000() + ".d").c_str(), 0755);
  const std::string around = level000() + ".d/mesh.bin";
  mDir.write("data/" + std::string(kLevel000) + ".d/mesh.bin", std::string(kMeshBytes, '\0'));
  auto s =
      start({"-v", "width=64,height=32,pixelformat=NV12", "-x",
             "width=64,height=32,pixelformat=NV12", "--mesh-from", around, "-t", "--fps", "25"});
  s->send("3");
  ASSERT_TRUE(wait_until([&] { return mesh_sets().size() == 10; }, 30));
  ASSERT_TRUE(s->wait_for_output("Set mesh config: ", 30, 10));
  std::vector<std::string> lines =
      matching_lines(s->output(), "(Get mesh path|Set mesh config): .*");
  ASSERT_EQ(20u, lines.size());
  std::string reported = around;
  std::vector<json> sets = mesh_sets();
  for (int i = 0; i < 10; ++i) {
    const std::string next = i % 2 == 0 ? level200() : level000();
    EXPECT_EQ("Get mesh path: " + reported, lines[2 * i]);
    EXPECT_EQ("Set mesh config: " + next, lines[2 * i + 1]);
    EXPECT_EQ(next, sets[i]["mesh_cfg"]["path"]);
    EXPECT_EQ(1, sets[i]["mesh_cfg"]["mode"]);
    reported = next;
  }
  interrupt(*s);
}

TEST_F(Console, MissingMeshFileStopsTheVaddrExercise) {
  unlink(level200().c_str());
  auto s = start(args(0));
  s->send("4");
  ASSERT_TRUE(wait_until(
      [&] { return s->errors().find("Virtual address config test failed\n") != std::string::npos; },
      30));
  ProgramResult r = interrupt(*s);
  EXPECT_EQ("open file " + level200() + " failed: No such file or directory\nLoad " + level200() +
                " failed: No such file or directory\nVirtual address config test failed\n",
            r.err);
  EXPECT_EQ(1u, mesh_sets().size()) << "the first iteration's level000 was applied";
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

TEST_F(Console, EndOfInputIsAKeyOfItsOwn) {
  // Not a terminal: the console reads the end of input on every pass until the frames end.
  ProgramRun run = prepare(args(0, {"--stream-count", "3"}));
  run.env["WARPBENCH_DATA_DIR"] = data_dir();
  ProgramResult r = run_program(run);
  EXPECT_EQ(0, r.exit_status);
  ASSERT_FALSE(r.err.empty());
  EXPECT_TRUE(matching_lines(r.err, "Not support key -1").size() > 0);
  EXPECT_EQ(r.err.size(), matching_lines(r.err, "Not support key -1").size() * 19)
      << "nothing else on standard error";
  EXPECT_NE(std::string::npos, r.out.find("press key=[\xff]\n"));
}

// Keys 4 and 5 on both allocator back ends: the path memories and the DMA buffers' sync.
class ConsoleMeshMemory : public Console, public testing::WithParamInterface<Backend> {};

TEST_P(ConsoleMeshMemory, EachInMemoryExerciseKeepsItsOwnAlternation) {
  mBackend = GetParam();
  auto s = start(args(0, {"--stream-count", "100"}));
  s->send("445");
  ASSERT_TRUE(s->wait_for_output("Loaded ", 60, 10));
  ASSERT_TRUE(wait_until([&] { return mesh_sets().size() == 30; }, 30));
  ProgramResult r = finish(*s, 100);
  EXPECT_EQ("", r.err);

  std::vector<std::string> vaddr_lines = matching_lines(r.out, "Set mesh config: .*, via vaddr");
  std::vector<std::string> fd_lines = matching_lines(r.out, "Loaded .* with DMA FD [0-9]+");
  ASSERT_EQ(20u, vaddr_lines.size());
  ASSERT_EQ(10u, fd_lines.size());
  std::smatch m;
  std::regex mesh_fd_line("mesh fd:([0-9]+) size:54");
  std::vector<std::string> mesh_fds;
  for (const std::string &line : matching_lines(r.out, "mesh fd:[0-9]+ size:54")) {
    std::regex_match(line, m, mesh_fd_line);
    mesh_fds.push_back(m[1]);
  }
  ASSERT_EQ(2u, mesh_fds.size());

  std::vector<json> sets = mesh_sets();
  for (int i = 0; i < 30; ++i) {
    // Both key 4 runs and the key 5 run start with level000, whatever ran before.
    const bool first = (i % 10) % 2 == 0;
    const std::string path = first ? level000() : level200();
    json cfg = sets[i]["mesh_cfg"];
    EXPECT_EQ(2, cfg["mode"]);
    EXPECT_EQ(kMeshBytes, cfg["size"]);
    if (i < 20) {
      EXPECT_EQ("Set mesh config: " + path + ", via vaddr", vaddr_lines[i]);
      EXPECT_EQ(1, cfg["use_vaddr"]);
      EXPECT_NE(0, cfg["vaddr"]);
    } else {
      const std::string fd = mesh_fds[first ? 0 : 1];
      EXPECT_EQ("Loaded " + path + " with DMA FD " + fd, fd_lines[i - 20]);
      EXPECT_EQ(0, cfg["use_vaddr"]);
      EXPECT_EQ(std::stoi(fd), cfg["dma_fd"]);
    }
  }
  // The CPU writes into the mesh DMA buffers are bracketed where the back end needs it: ten
  // exercise loads on top of the input picture's one.
  json want = GetParam() == Backend::Drm ? json::parse(R"({"1":0,"2":0,"5":0,"6":0})")
                                         : json::parse(R"({"1":0,"2":11,"5":0,"6":11})");
  EXPECT_EQ(want, device_report()["sync"]);
}

INSTANTIATE_TEST_SUITE_P(BothBackends, ConsoleMeshMemory,
                         testing::Values(Backend::Drm, Backend::Library),
                         [](const testing::TestParamInfo<Backend> &p) {
                           return p.param == Backend::Drm ? "DrmDevice" : "LibraryAllocator";
                         });

}  // namespace
