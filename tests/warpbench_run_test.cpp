// A warpbench run from set-up to teardown, as the stand-in library's trace and the output file
// show it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "owned_fd.h"
#include "warpbench_fixture.h"

namespace {

using WarpbenchRun = WarpbenchTest;
using nlohmann::json;

off_t file_size(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// The operations from the first engine call on, with the run of process calls folded.
std::vector<std::string> teardown_ops(const std::vector<std::string> &ops) {
  std::vector<std::string> tail;
  for (const std::string &op : ops) {
    if (op == "process" && (tail.empty() || tail.back() == "process")) {
      if (tail.empty()) tail.push_back(op);
      continue;
    }
    if (!tail.empty()) tail.push_back(op);
  }
  return tail;
}

// The operations from the library's init on.
std::vector<std::string> teardown_ops_from_init(const std::vector<std::string> &ops) {
  return std::vector<std::string>(std::find(ops.begin(), ops.end(), "init"), ops.end());
}

// On the DRM back end the buffers go back to the device (its report), not to the library.
const std::vector<std::string> kDrmTeardown = {"process", "deinit"};

TEST_F(WarpbenchRun, MeshFileModeSplitsThePathAndIgnoresTheIni) {
  write_picture();
  write_mesh();
  ProgramResult r =
      run(with(picture_args(), {"--mesh-from", mDir.file("mesh.bin"), "--calib-ini-from",
                                "/nonexistent.ini", "--stream-count", "1"}));
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(0u, trace_of("load_online_config_from_ini").size());
  json cfg = trace_of("init").at(0)["cfg"];
  EXPECT_EQ(1, cfg["mesh_mode"]);
  EXPECT_EQ(mDir.path() + "/", cfg["mesh_dir"]);
  EXPECT_EQ("mesh.bin", cfg["mesh_name"]);
  EXPECT_EQ("", cfg["ini_path"]);
  EXPECT_EQ(0x00040004, cfg["header"]);

  // Relative to the working directory: no directory part at all.
  run(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "1"}));
  cfg = trace_of("init").at(0)["cfg"];
  EXPECT_EQ("", cfg["mesh_dir"]);
  EXPECT_EQ("mesh.bin", cfg["mesh_name"]);
  EXPECT_NE(0, trace_of("init").at(0)["ret"]) << "the library found it";
}

TEST_F(WarpbenchRun, OnlineModeEchoesTheIniAndHandsOverTheParameters) {
  write_picture();
  std::string ini = write_ini();
  ProgramResult r = run(with(picture_args(), {"--calib-ini-from", ini, "--stream-count", "1"}));
  EXPECT_EQ(0, r.exit_status);
  const std::string echo = "calib_ini_from: " + ini +
                           "\n"
                           "calib_width: 64\n"
                           "light_center: 32.5000 16.2500\n"
                           "coeff: -40.1250000000000000 0.0000000000000000 0.0010000000000000 "
                           "-0.0000001000000000\n"
                           "calib_level_maxLimit: 200\n"
                           "correct_level: 100\n"
                           "direction: 0\n"
                           "style: 0\n";
  EXPECT_EQ(echo, r.out.substr(0, echo.size()));
  EXPECT_EQ("handle = ", r.out.substr(echo.size(), 9)) << "the buffers come next";
  std::vector<std::string> ops = trace_ops();
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ("load_online_config_from_ini", ops[0]) << "the INI is read before any buffer";
  json cfg = trace_of("init").at(0)["cfg"];
  EXPECT_EQ(0, cfg["mesh_mode"]);
  EXPECT_EQ(json::parse(R"({"light_center":[32.5,16.25],"coeff":[-40.125,0,0.001,-1e-07],
      "direction":0,"style":0,"correct_level":100,"calib_width":64,"calib_height":32,
      "calib_level_maxLimit":200})"),
            cfg["online"]);
  EXPECT_EQ("", cfg["mesh_name"]);

  r = run(with(picture_args(), {"-s", "--calib-ini-from", ini, "--stream-count", "1"}));
  EXPECT_EQ(4u, lines_starting(r.out, "handle = ").size());
  EXPECT_EQ(4u, (size_t)std::count(r.out.begin(), r.out.end(), '\n'))
      << "silent leaves only the DRM back end's own lines";
}

TEST_F(WarpbenchRun, IniModeHandsThePathToTheLibraryWithoutReadingIt) {
  write_picture();
  std::string ini = write_ini();
  ProgramResult r = run(with(
      picture_args(), {"--calib-ini-from", ini, "--auto-parse-ini", "1", "--stream-count", "1"}));
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(std::string::npos, r.out.find("calib_ini_from")) << "nothing is echoed";
  EXPECT_EQ(0u, trace_of("load_online_config_from_ini").size());
  json cfg = trace_of("init").at(0)["cfg"];
  EXPECT_EQ(3, cfg["mesh_mode"]);
  EXPECT_EQ(ini, cfg["ini_path"]);
}

TEST_F(WarpbenchRun, SetUpFailuresEndWithTheirStatuses) {
  write_picture();
  write_mesh();
  // No calibration source at all.
  ProgramResult r = run(picture_args());
  EXPECT_EQ("Please specify the calibration file.\n", r.err);
  EXPECT_EQ(255, r.exit_status);
  EXPECT_TRUE(trace_ops().empty());

  // An INI the library cannot load.
  mDir.write("bad.ini", "[fec_online]\nstyle = 0\n");
  r = run(with(picture_args(), {"--calib-ini-from", "bad.ini"}));
  EXPECT_EQ("Failed to load online config from ini file\n", r.err);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(255, r.exit_status);
  EXPECT_EQ(std::vector<std::string>{"load_online_config_from_ini"}, trace_ops());

  // Paths that do not fit their fields: refused before any library work.
  const std::string long_ini = mDir.path() + "/" + std::string(140, 'i') + ".ini";
  r = run(with(picture_args(), {"--calib-ini-from", long_ini, "--auto-parse-ini", "1"}));
  EXPECT_EQ(
      "Calibration INI path " + long_ini + " refused: the library takes at most 127 characters\n",
      r.err);
  EXPECT_EQ(1, r.exit_status);
  EXPECT_TRUE(trace_ops().empty());
  const std::string long_name = std::string(64, 'm') + ".bin";
  r = run(with(picture_args(), {"-s", "--mesh-from", long_name}));
  EXPECT_EQ("Mesh path " + long_name + " refused: its file name is longer than 63 characters\n",
            r.err);
  EXPECT_EQ(1, r.exit_status);
  EXPECT_TRUE(trace_ops().empty()) << "refused before any library work";
}

// The library reads the mesh file and the INI itself; a directory or a FIFO in their place is
// refused at once with the reason, never read as a file or waited on.
TEST_F(WarpbenchRun, MeshAndIniPathsThatAreNoRegularFilesAreRefused) {
  write_picture();
  ASSERT_EQ(0, mkfifo(mDir.file("fifo").c_str(), 0600));
  mDir.make_dir("dir");
  const struct {
    std::vector<std::string> args;
    std::string err;
    int status;
  } cases[] = {
      {{"--mesh-from", "dir"}, "tq_lenswarp_api_init failed: Is a directory\n", 0},
      {{"--mesh-from", "fifo"}, "tq_lenswarp_api_init failed: Invalid argument\n", 0},
      {{"--calib-ini-from", "dir", "--auto-parse-ini", "1"},
       "tq_lenswarp_api_init failed: Is a directory\n",
       0},
      {{"--calib-ini-from", "fifo"}, "Failed to load online config from ini file\n", 255},
  };
  for (const auto &c : cases) {
    ProgramResult r = run(with(picture_args(), c.args), 20);
    EXPECT_EQ(c.err, r.err) << c.args[1];
    EXPECT_EQ(c.status, r.exit_status) << c.args[1];
    EXPECT_TRUE(trace_of("process").empty()) << c.args[1];
  }
}

// A size beyond 32 bits is measured and refused as any wrong size, on armhf too.
TEST_F(WarpbenchRun, AMeshFileOf3GiBIsRefusedForItsSize) {
  write_picture();
  const std::string mesh = mDir.write("big.bin", "");
  ASSERT_EQ(0, truncate(mesh.c_str(), (off_t)3 << 30));
  ProgramResult r = run(with(picture_args(), {"--mesh-from", "big.bin"}));
  EXPECT_EQ("tq_lenswarp_api_init failed: Invalid argument\n", r.err);
  EXPECT_EQ(0, r.exit_status);
}

TEST_F(WarpbenchRun, LibraryInitFailureFreesTheBuffersAndEndsWithZero) {
  write_picture();
  write_mesh();
  ProgramResult r = run({"-v", "width=64,height=32,pixelformat=YUYV", "-x",
                         "width=64,height=32,pixelformat=NV12", "--mesh-from", "mesh.bin"});
  EXPECT_EQ("tq_lenswarp_api_init failed: Invalid argument\n", r.err);
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ("init", trace_ops().back()) << "nothing but the buffers follows";
  EXPECT_EQ(4, device_report()["objects_closed"]);

  mBackend = Backend::Library;
  run({"-v", "width=64,height=32,pixelformat=YUYV", "-x", "width=64,height=32,pixelformat=NV12",
       "--mesh-from", "mesh.bin"});
  std::vector<std::string> ops = trace_ops();
  auto init = std::find(ops.begin(), ops.end(), "init");
  ASSERT_NE(ops.end(), init);
  EXPECT_EQ(
      (std::vector<std::string>{"init", "vb_free", "vb_free", "vb_free", "vb_free", "vb_deinit"}),
      std::vector<std::string>(init, ops.end()));
}

TEST_F(WarpbenchRun, MissingInputClosesTheLibraryThenTheBuffers) {
  mBackend = Backend::Library;  // so the trace shows the buffers going back too
  write_mesh();
  ProgramResult r = run(with(picture_args(), {"--mesh-from", "mesh.bin"}));
  EXPECT_EQ("Could not open " + mDir.file("in.yuv") +
                " for reading\n"
                "Failed to read image from 0, ret: No such file or directory\n",
            r.err);
  EXPECT_EQ(0, r.exit_status);
  std::vector<std::string> ops = trace_ops();
  auto init = std::find(ops.begin(), ops.end(), "init");
  ASSERT_NE(ops.end(), init);
  EXPECT_EQ((std::vector<std::string>{"init", "deinit", "vb_free", "vb_free", "vb_free", "vb_free",
                                      "vb_deinit"}),
            std::vector<std::string>(init, ops.end()));

  // Without --stream-from the fixed default picture is used.
  r = run({"-v", "width=64,height=32,pixelformat=NV12", "-x", "width=64,height=32,pixelformat=NV12",
           "--mesh-from", "mesh.bin"});
  EXPECT_EQ(0u, r.err.find("Could not open /data/imx415_4k_nv12.yuv for reading\n")) << r.err;
}

// The rate line's form; its figures depend on the machine, its cadence does not.
const std::regex kRateLine(
    R"(warpbench Current fps: [0-9]+\.[0-9]{2}, Total avg fps: [0-9]+\.[0-9]{2})");

TEST_F(WarpbenchRun, RateLinesFollowEveryFpsFramesAfterTheFirst) {
  write_picture();
  write_mesh();
  // fps 40 over 101 frames: lines after completed frames 41 and 81 only; the last frame ends the
  // loop uncounted (frame_pacing_test.cpp has the cadence for any fps).
  ProgramResult r = run(
      with(picture_args(), {"--mesh-from", "mesh.bin", "--fps", "40", "--stream-count", "101"}));
  std::vector<std::string> lines = lines_starting(r.out, "warpbench ");
  EXPECT_EQ(2u, lines.size()) << r.out;
  for (const std::string &line : lines) EXPECT_TRUE(std::regex_match(line, kRateLine)) << line;

  r = run(with(picture_args(),
               {"-s", "--mesh-from", "mesh.bin", "--fps", "40", "--stream-count", "42"}));
  EXPECT_TRUE(lines_starting(r.out, "warpbench ").empty()) << r.out;
}

TEST_F(WarpbenchRun, FramesNeverStartBeforeTheirDeadline) {
  write_picture();
  write_mesh();
  const int fps = 10;
  run(with(picture_args(),
           {"--mesh-from", "mesh.bin", "--fps", std::to_string(fps), "--stream-count", "12"}));
  std::vector<json> calls = trace_of("process");
  ASSERT_EQ(12u, calls.size());
  const int64_t period = 1000000000 / fps;
  const int64_t first = calls[0]["t_ns"];
  // The schedule is fixed at the first clock reading, shortly before the first call (how
  // shortly depends on the machine's load: a long period leaves room for it).
  const int64_t slack = period / 2;
  for (size_t k = 1; k < calls.size(); ++k) {
    int64_t t = calls[k]["t_ns"];
    EXPECT_GE(t - first, (int64_t)k * period - slack) << "frame " << k;
  }
}

// WARPBENCH_SPIN_US ends each sleep early and reads the clock until the deadline: frames still
// never start before it, and the summary records the setting. Anything but a whole number of
// microseconds up to 10000 is refused before anything is allocated, also with -s.
TEST_F(WarpbenchRun, TheDeadlineSpinIsAWholeNumberOfMicrosecondsUpTo10000) {
  write_picture();
  write_mesh();
  const std::vector<std::string> args =
      with(picture_args(), {"-s", "--mesh-from", "mesh.bin", "--fps", "50", "--stream-count", "6"});
  for (const char *value :
       {"abc", "-1", "+5", " 5", "5 ", "1.5", "10001", "0x10", "99999999999999999999999"}) {
    mExtraEnv["WARPBENCH_SPIN_US"] = value;
    ProgramResult r = run(args);
    EXPECT_EQ(1, r.exit_status) << value;
    EXPECT_EQ(std::string("warpbench: WARPBENCH_SPIN_US: ") + value +
                  " is not a whole number of microseconds from 0 to 10000\n",
              r.err);
    EXPECT_EQ("", r.out) << value;
    EXPECT_TRUE(trace_ops().empty()) << value;
    EXPECT_TRUE(device_report().is_null() || device_report()["device_opened"] == 0) << value;
  }
  mExtraEnv["WARPBENCH_STATS"] = mDir.file("stats.json");
  mExtraEnv["WARPBENCH_FRAMES"] = mDir.file("frames.csv");
  for (const char *value : {"", "0", "010000"}) {
    mExtraEnv["WARPBENCH_SPIN_US"] = value;
    ProgramResult r = run(args);
    ASSERT_EQ(0, r.exit_status) << value << r.err;
    EXPECT_EQ("", r.err) << value;
    EXPECT_EQ(atoi(value), json::parse(mDir.read("stats.json"))["run"]["spin_us"]) << value;
    std::istringstream frames(mDir.read("frames.csv"));
    std::string line;
    std::getline(frames, line);
    const std::vector<json> calls = trace_of("process");
    ASSERT_EQ(6u, calls.size());
    for (const json &call : calls) {
      ASSERT_TRUE(std::getline(frames, line));
      const int64_t deadline = std::stoll(line.substr(line.find(',') + 1));
      EXPECT_GE(call["t_ns"].get<int64_t>(), deadline) << value << ": " << line;
    }
  }
}

TEST_F(WarpbenchRun, ZeroFpsRunsUnpacedWithoutRateLines) {
  write_picture();
  write_mesh();
  ProgramResult r =
      run(with(picture_args(), {"--fps", "0", "--mesh-from", "mesh.bin", "--stream-count", "150"}));
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ("Invalid fps 0\n", r.err);
  EXPECT_TRUE(lines_starting(r.out, "warpbench ").empty());
  EXPECT_EQ(150u, trace_of("process").size());

  r = run(with(picture_args(), {"--fps", "-5", "--mesh-from", "mesh.bin", "--stream-count", "20"}));
  EXPECT_EQ(0, r.exit_status);
  EXPECT_TRUE(lines_starting(r.out, "warpbench ").empty());
}

TEST_F(WarpbenchRun, StopSignalsFinishTheFrameAndTearDownInOrder) {
  write_picture();
  write_mesh();
  for (int sig : {SIGINT, SIGTERM}) {
    ProgramRun pr = prepare(with(
        picture_args(), {"--mesh-from", "mesh.bin", "--fps", "200", "--stream-to", "out.yuv"}));
    pr.while_running = [&](pid_t pid) {
      ASSERT_TRUE(wait_until([&] { return trace_of("process").size() >= 3; }, 30));
      kill(pid, sig);
    };
    ProgramResult r = run_program(pr);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(sig, r.signal) << "ends with the conventional status of the signal";
    size_t frames = trace_of("process").size();
    EXPECT_EQ((off_t)(frames * kFrameBytes), file_size(mDir.file("out.yuv")))
        << "every frame processed was written whole";
    EXPECT_EQ(kDrmTeardown, teardown_ops(trace_ops()));
    // Standard output is a pipe, so its lines were held in its buffer: flushed before the end.
    EXPECT_EQ(4u, lines_starting(r.out, "handle = ").size()) << r.out;
    EXPECT_EQ(frames, std::count(r.err.begin(), r.err.end(), '<'));
  }
}

// Before the frame loop a stop signal ends the run at once, through the teardown of what exists:
// here while the input picture is awaited from a FIFO that no one writes.
TEST_F(WarpbenchRun, StopSignalsEndTheWaitForTheInputPicture) {
  write_mesh();
  ASSERT_EQ(0, mkfifo(mDir.file("in.fifo").c_str(), 0600));
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    ProgramRun pr = prepare(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-from",
                                                  "in.fifo", "--stream-to", "out.yuv"}),
                            30);
    pr.while_running = [&](pid_t pid) {
      ASSERT_TRUE(wait_until([&] { return !trace_of("init").empty(); }, 30));
      kill(pid, sig);
    };
    ProgramResult r = run_program(pr);
    EXPECT_FALSE(r.timed_out) << sig;
    EXPECT_EQ(sig, r.signal);
    EXPECT_EQ("", r.err) << "an ending asked for is no failure";
    EXPECT_EQ((std::vector<std::string>{"init", "deinit"}), teardown_ops_from_init(trace_ops()));
    expect_device_clean();
  }
}

// A FIFO as the input still delivers the picture: the wait ends with its writer's data.
TEST_F(WarpbenchRun, TheInputPictureMayComeThroughAFifo) {
  const std::string picture = write_picture();
  write_mesh();
  const std::string fifo = mDir.file("in.fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  ProgramRun pr = prepare(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-from", fifo,
                                                "--stream-to", "out.yuv", "--stream-count", "2"}));
  pr.while_running = [&](pid_t) {
    OwnedFd writer;  // opens once the program has the FIFO open for reading
    ASSERT_TRUE(wait_until(
        [&] {
          writer.reset(open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
          return writer.valid();
        },
        30));
    for (size_t half : {0u, 1u}) {  // in two writes, as a slow producer would
      const size_t at = half * picture.size() / 2;
      ASSERT_EQ((ssize_t)(picture.size() / 2),
                write(writer.get(), picture.data() + at, picture.size() / 2));
    }
  };
  ProgramResult r = run_program(pr);
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ(picture + picture, mDir.read("out.yuv"));
}

// Inside the loop a stop signal ends a write blocked on a full FIFO (warpbench opens --stream-to
// for reading too, so the FIFO never lacks a reader): a write failure, then the teardown.
TEST_F(WarpbenchRun, AStopSignalEndsAWriteBlockedOnAFullFifo) {
  // One frame is larger than a pipe holds, so its write blocks for good.
  const int width = 256, height = 192;
  const std::string fmt =
      "width=" + std::to_string(width) + ",height=" + std::to_string(height) + ",pixelformat=NV12";
  mDir.write("big.yuv", std::string(nv12_frame_bytes(width, height), '\x55'));
  write_ini();
  ASSERT_EQ(0, mkfifo(mDir.file("out.fifo").c_str(), 0600));
  ProgramRun pr = prepare({"-v", fmt, "-x", fmt, "--calib-ini-from", "calib.ini", "--stream-from",
                           "big.yuv", "--stream-to", "out.fifo"},
                          30);
  pr.while_running = [&](pid_t pid) {
    ASSERT_TRUE(wait_until([&] { return !trace_of("process").empty(); }, 30));
    kill(pid, SIGTERM);
  };
  ProgramResult r = run_program(pr);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(SIGTERM, r.signal);
  EXPECT_EQ(
      "Error writing to file\n"
      "write_buffer_to_file failed: Interrupted system call\n"
      "Output file out.fifo is incomplete: 0 frames reached it whole\n",
      r.err);
  EXPECT_EQ(1u, trace_of("process").size());
  EXPECT_EQ("deinit", trace_ops().back());
  expect_device_clean();
}

// A full disk: the write that fails is reported with its line end and ends the loop; the
// teardown says how many frames reached the file whole. The file was truncated, though it held
// more before, and holds those frames as a run without the limit writes them.
TEST_F(WarpbenchRun, AFullDiskEndsTheLoopAndSaysWhatTheFileHolds) {
  // Frames larger than the buffers' objects, which the file-size limit must not stop.
  const size_t frame = nv12_frame_bytes(320, 240);
  const std::string fmt = "width=320,height=240,pixelformat=NV12";
  mDir.write("big.yuv", std::string(frame, '\x60'));
  write_ini();
  const std::vector<std::string> args = {"-v",
                                         fmt,
                                         "-x",
                                         fmt,
                                         "--calib-ini-from",
                                         "calib.ini",
                                         "--stream-from",
                                         "big.yuv",
                                         "--stream-to",
                                         "out.yuv",
                                         "--stream-count",
                                         "5"};
  ASSERT_EQ(0, run(args).exit_status);
  const std::string whole = mDir.read("out.yuv");
  ASSERT_EQ(5 * frame, whole.size());

  mDir.write("out.yuv", std::string(10 * frame, 'x'));
  ProgramRun limited = prepare(args);
  limited.file_size_limit = (long long)(2 * frame + frame / 2);
  ProgramResult r = run_program(limited);
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(
      "<\n<\nError writing to file\n"
      "write_buffer_to_file failed: File too large\n"
      "Output file out.yuv is incomplete: 2 frames reached it whole\n",
      r.err);
  EXPECT_EQ(3u, trace_of("process").size());
  const std::string cut = mDir.read("out.yuv");
  EXPECT_EQ((size_t)limited.file_size_limit, cut.size());
  EXPECT_TRUE(cut == whole.substr(0, cut.size())) << "the frames as written without the limit";

  write_picture();
  write_mesh();
  r = run(with(picture_args(), {"-s", "--mesh-from", "mesh.bin", "--stream-to", "/dev/full",
                                "--stream-count", "3"}));
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1u, trace_of("process").size());
}

// Standard output whose reader is gone: the lost lines do not end the run before its teardown.
TEST_F(WarpbenchRun, AGoneReaderOfStandardOutputDoesNotCutTheRunShort) {
  write_picture();
  write_mesh();
  Pipe out = make_pipe();
  out.read_end.reset();
  ChildStreams streams;
  streams.out = out.write_end.get();
  pid_t pid = spawn_program(
      prepare(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "3"})), streams);
  ASSERT_GT(pid, 0);
  out.write_end.reset();
  ProgramEnd end = wait_for_exit(pid, 30);
  EXPECT_EQ(0, end.signal);
  EXPECT_EQ(0, end.exit_status);
  EXPECT_EQ("deinit", trace_ops().back());
  expect_device_clean();
}

}  // namespace
