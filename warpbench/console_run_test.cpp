// A whole warpbench run in a child of the test, under the simulated device: every key of the
// console while frames flow, on both allocator back ends. The exercises' pauses are not slept, so
// the console's calls, the frame loop and the library's threads all run at once, as the
// ThreadSanitizer build checks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "mesh_exercises.h"
#include "monotonic_clock.h"
#include "owned_fd.h"
#include "pixel_formats.h"
#include "run_flow.h"
#include "scratch_dir.h"

namespace {

using nlohmann::json;

const char kLevel000[] = "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level000.bin";
const char kLevel200[] = "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level200.bin";
const size_t kMeshBytes = 6 * 3 * 3;  // a 64x32 output

std::vector<json> trace(const ScratchDir &dir) {
  std::vector<json> calls;
  std::istringstream lines(dir.read("trace.jsonl"));
  for (std::string line; std::getline(lines, line);) {
    // The last line may still be being written.
    json call = json::parse(line, nullptr, false);
    if (!call.is_discarded()) calls.push_back(call);
  }
  return calls;
}

size_t count(const std::vector<json> &calls, const std::string &op) {
  size_t n = 0;
  for (const json &c : calls) n += c["op"] == op;
  return n;
}

class ConsoleRun : public testing::TestWithParam<bool> {};

TEST_P(ConsoleRun, EveryKeyRunsWhileFramesFlow) {
  const bool drm = GetParam();
  ScratchDir dir;
  dir.make_dir("data");
  dir.write(std::string("data/") + kLevel000, std::string(kMeshBytes, '\0'));
  dir.write(std::string("data/") + kLevel200, std::string(kMeshBytes, '\x01'));
  dir.write("in.yuv", std::string(nv12_frame_bytes(64, 32), '\x50'));
  dir.write("calib.ini",
            "[fec_online]\nlight_center = 32 16\ncoeff = -40 0 0.001 0\ndirection = 0\n"
            "style = 0\ncorrect_level = 0\ncalib_width = 64\ncalib_height = 32\n"
            "calib_level_maxLimit = 200\n");
  int keys[2];
  ASSERT_EQ(0, pipe(keys));
  OwnedFd key_reader(keys[0]), key_writer(keys[1]);
  ASSERT_EQ(6, write(key_writer.get(), "123456", 6));
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    setenv("LENSWARP_TRACE", dir.file("trace.jsonl").c_str(), 1);
    setenv("SOCDRM_REPORT", dir.file("device.json").c_str(), 1);
    setenv("WARPBENCH_DATA_DIR", dir.file("data").c_str(), 1);
    if (!drm) setenv("SOCDRM_NO_DEVICE", "1", 1);
    set_exercise_pause([](unsigned int) {});
    int out = open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(key_reader.get(), 0) != 0 || dup2(out, 1) != 1 ||
        dup2(err, 2) != 2) {
      _exit(100);
    }
    // The parser cuts its suboption arguments in place: the words must be writable.
    std::vector<std::string> words = {"warpbench",
                                      "-v",
                                      "width=64,height=32,pixelformat=NV12",
                                      "-x",
                                      "width=64,height=32,pixelformat=NV12",
                                      "--calib-ini-from",
                                      dir.file("calib.ini"),
                                      "--stream-from",
                                      dir.file("in.yuv"),
                                      "-t",
                                      "--fps",
                                      "1000"};
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    // Ended by exit, not by the signal again, so the device's report is written at exit too.
    exit(warpbench_main((int)words.size(), argv.data()));
  }
  ASSERT_GT(pid, 0);
  // Key 6 comes last; once it has run the frames are stopped.
  const bool done = wait_until([&] { return count(trace(dir), "get_mesh_config") >= 41; }, 120);
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  ASSERT_TRUE(done) << dir.read("err");
  ASSERT_TRUE(WIFEXITED(status)) << status << dir.read("err");
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_EQ("", dir.read("err"));

  const std::vector<json> calls = trace(dir);
  EXPECT_EQ(10u, count(calls, "set_cfg"));
  EXPECT_EQ(40u, count(calls, "set_mesh_config")) << "keys 2 to 5, ten calls each";
  for (const json &call : calls) {
    if (call["op"] == "set_mesh_config") {
      EXPECT_EQ(0, call["ret"]) << call;
    }
  }
  // The teardown ran: the library's allocator takes its buffers back last, the device its own.
  EXPECT_EQ(drm ? "deinit" : "vb_deinit", calls.back()["op"]);
  // Key 5's ten loads into the mesh buffers and the input picture's one are bracketed by syncs
  // where the back end needs them; the device got back all it made.
  const json report = json::parse(dir.read("device.json"));
  EXPECT_EQ(json::parse(drm ? R"({"1":0,"2":0,"5":0,"6":0})" : R"({"1":0,"2":11,"5":0,"6":11})"),
            report["sync"]);
  EXPECT_EQ(report["objects_created"], report["objects_closed"]) << report;
  EXPECT_EQ(report["mappings_made"], report["mappings_unmapped"]) << report;
  EXPECT_EQ(report["exported"], report["exported_closed"]) << report;
}

INSTANTIATE_TEST_SUITE_P(BothBackends, ConsoleRun, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool> &p) {
                           return p.param ? "DrmDevice" : "LibraryAllocator";
                         });

}  // namespace
