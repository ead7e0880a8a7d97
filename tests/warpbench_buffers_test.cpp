// The working buffers and frame I/O on both allocator back ends: the simulated SoC DRM device,
// and the library's own allocator when there is no device.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "dma_buf_sync_probe.h"
#include "warpbench_fixture.h"

namespace {

using nlohmann::json;

std::string fmt(int w, int h, const char *pf = "NV12") {
  return "width=" + std::to_string(w) + ",height=" + std::to_string(h) + ",pixelformat=" + pf;
}

const long kTwoPages = 2 * sysconf(_SC_PAGESIZE);

class Buffers : public WarpbenchTest, public testing::WithParamInterface<Backend> {
 protected:
  void SetUp() override { mBackend = GetParam(); }
  bool drm() const { return mBackend == Backend::Drm; }

  // The stdout lines of one allocation: the DRM back end's own line, then the report line.
  // Returns the descriptor the report names.
  int expect_allocation(std::istream &out, const std::string &report_prefix, long requested,
                        long recorded) {
    std::string line;
    std::smatch m;
    int drm_fd = -1;
    if (drm()) {
      std::getline(out, line);
      static const std::regex kDrmLine(
          R"(handle = ([0-9]+), dma_fd = ([0-9]+), alloc_size = ([0-9]+), real_size = ([0-9]+))");
      EXPECT_TRUE(std::regex_match(line, m, kDrmLine)) << line;
      if (m.empty()) return -1;
      drm_fd = std::stoi(m[2]);
      EXPECT_EQ(requested, std::stol(m[3])) << line;
      long page = sysconf(_SC_PAGESIZE);
      EXPECT_EQ(std::max(kTwoPages, (requested + page - 1) / page * page), std::stol(m[4])) << line;
    }
    std::getline(out, line);
    const std::regex report(report_prefix + R"(([0-9]+) size: ?([0-9]+))");
    EXPECT_TRUE(std::regex_match(line, m, report)) << line;
    if (m.empty()) return -1;
    EXPECT_EQ(recorded, std::stol(m[2])) << line;
    if (drm()) {
      EXPECT_EQ(drm_fd, std::stoi(m[1])) << "the same buffer";
    }
    return std::stoi(m[1]);
  }

  void expect_allocations(const std::string &stdout_text, long mesh, long in, long out_alloc,
                          long out_frame) {
    std::istringstream out(stdout_text);
    if (!drm()) {
      std::string first;
      std::getline(out, first);
      EXPECT_EQ("failed to open drm !", first);
    }
    expect_allocation(out, "mesh fd:", mesh, mesh);
    expect_allocation(out, "mesh fd:", mesh, mesh);
    expect_allocation(out, "in pic fd:", in, in);
    expect_allocation(out, "out pic fd:", out_alloc, out_frame);
    if (!drm()) {
      // The library's allocator was asked for the same sizes.
      std::vector<json> allocs = trace_of("vb_alloc");
      ASSERT_EQ(4u, allocs.size());
      EXPECT_EQ(out_alloc, allocs[3]["size"]);
    }
  }

  // Sync calls the device counted, by flags value.
  json syncs() { return device_report()["sync"]; }
};

TEST_P(Buffers, ReportLinesComeInAllocationOrder) {
  write_picture();
  write_mesh();
  ProgramResult r = run(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "1"}));
  EXPECT_EQ(0, r.exit_status);
  expect_allocations(r.out, 54, 3072, 3168, 3072);

  json init = trace_of("init").at(0)["cfg"];
  EXPECT_EQ(54, init["mesh_size"]) << "mesh buffer 0 is described to the library";
  EXPECT_NE(0, init["mesh_vaddr"]);
  EXPECT_EQ(std::regex_replace(r.out, std::regex("(.|\n)*?mesh fd:([0-9]+)(.|\n)*"), "$2"),
            std::to_string(init["mesh_fd"].get<int>()));
}

TEST_P(Buffers, OutputTallerThanTheInputGetsRoomForItsFrame) {
  std::string picture = write_picture();
  mDir.write("mesh.bin", std::string(6 * 3 * 4, '\0'));  // 64x48 output: 3 x 4 points
  ProgramResult r =
      run({"-v", fmt(64, 32), "-x", fmt(64, 48), "--mesh-from", "mesh.bin", "--stream-from",
           "in.yuv", "--stream-to", "out.yuv", "--stream-count", "1"});
  EXPECT_EQ(0, r.exit_status);
  expect_allocations(r.out, 72, 3072, 4608, 4608);
  EXPECT_EQ(4608u, mDir.read("out.yuv").size());
}

TEST_P(Buffers, SkipAndCountDecideEngineCallsAndWrittenFrames) {
  std::string picture = write_picture();
  write_mesh();
  ProgramResult r =
      run(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-skip", "3", "--stream-count",
                                "2", "--stream-to", "out.yuv", "--fps", "500"}));
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ("<\n<\n", r.err);
  EXPECT_EQ(5u, trace_of("process").size());
  EXPECT_EQ(picture + picture, mDir.read("out.yuv"));
  // The CPU's accesses are bracketed only where the back end needs it: the input load once,
  // each written frame's read-back.
  json want = drm() ? json::parse(R"({"1":0,"2":0,"5":0,"6":0})")
                    : json::parse(R"({"1":2,"2":1,"5":2,"6":1})");
  EXPECT_EQ(want, syncs());

  // Without an output file the counts still end the loop, and nothing is read back.
  r = run(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-skip", "1", "--stream-count",
                                "1", "--fps", "500"}));
  EXPECT_EQ("", r.err);
  EXPECT_EQ(2u, trace_of("process").size());
  want = drm() ? json::parse(R"({"1":0,"2":0,"5":0,"6":0})")
               : json::parse(R"({"1":0,"2":1,"5":0,"6":1})");
  EXPECT_EQ(want, syncs());
}

TEST_P(Buffers, EmptyInputRunsNoFrame) {
  write_mesh();
  mDir.write("in.yuv", "");
  ProgramResult r = run(with(picture_args(), {"--mesh-from", "mesh.bin"}));
  EXPECT_EQ("Failed to read image from 0, ret: No data available\n", r.err);
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(0u, trace_of("process").size());
  EXPECT_EQ(1u, trace_of("deinit").size());
}

TEST_P(Buffers, ShortInputFillsTheStartOfTheBuffer) {
  std::string picture = write_picture();
  write_mesh();
  mDir.write("in.yuv", picture.substr(0, 1000));
  ProgramResult r = run(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "2",
                                              "--stream-to", "out.yuv"}));
  EXPECT_EQ(0, r.exit_status);
  std::string out = mDir.read("out.yuv");
  ASSERT_EQ(2 * kFrameBytes, out.size());
  EXPECT_EQ(picture.substr(0, 1000), out.substr(0, 1000));
  EXPECT_EQ(std::string(kFrameBytes - 1000, '\0'), out.substr(1000, kFrameBytes - 1000))
      << "the rest of a fresh buffer";
}

TEST_P(Buffers, OutputInAMissingDirectoryIsReportedAndFramesStillCount) {
  write_picture();
  write_mesh();
  ProgramResult r = run(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "3",
                                              "--stream-to", "no/such/dir/out.yuv"}));
  EXPECT_EQ("Could not open no/such/dir/out.yuv for writing\n", r.err);
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(3u, trace_of("process").size());
}

TEST_P(Buffers, EngineFailureEndsTheLoopWithoutWriting) {
  std::string picture = write_picture();
  write_mesh();
  mExtraEnv["LENSWARP_FAIL_PROCESS_AT"] = "3";
  ProgramResult r = run(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "5",
                                              "--stream-to", "out.yuv"}));
  EXPECT_EQ("<\n<\ntq_lenswarp_api_process failed: Input/output error\n", r.err);
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(picture + picture, mDir.read("out.yuv"));
  EXPECT_EQ(3u, trace_of("process").size());
  EXPECT_EQ(1u, trace_of("deinit").size()) << "the normal teardown follows";
}

// Without the simulated device the library's allocator runs on the real kernel, whose memfd
// buffers are no DMA-bufs: every sync is refused, reported with the reason, and the run goes on.
using WithoutPreload = WarpbenchTest;

TEST_F(WithoutPreload, EachRefusedSyncIsReportedAndTheRunGoesOn) {
  if (access("/dev/dri/card0", F_OK) == 0) {
    GTEST_SKIP() << "this machine has a /dev/dri/card0, so warpbench would use its DRM back end";
  }
  const std::string reason = refused_sync_reason();
  ASSERT_NE("", reason);

  const std::string picture = write_picture();
  write_mesh();
  for (bool silent : {false, true}) {
    ProgramRun pr = prepare(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "2",
                                                  "--stream-to", "out.yuv"}));
    if (silent) pr.args.push_back("-s");
    pr.env.erase("LD_PRELOAD");
    ProgramResult r = run_program(pr);
    EXPECT_EQ(0, r.exit_status);
    EXPECT_EQ(picture + picture, mDir.read("out.yuv"));
    std::string out = "failed to open drm !\n", err;
    if (!silent) {
      std::vector<json> allocs = trace_of("vb_alloc");
      ASSERT_EQ(4u, allocs.size());
      auto fd = [&](size_t i) { return std::to_string(allocs[i]["buf"]["fd"].get<int>()); };
      out += "mesh fd:" + fd(0) + " size:54\nmesh fd:" + fd(1) + " size:54\nin pic fd:" + fd(2) +
             " size: 3072\nout pic fd:" + fd(3) + " size: 3072\n";
      err = "DMA input sync(pre-write) failed: " + reason +
            "\nDMA input sync(post-write) failed: " + reason + "\n";
      for (int frame = 0; frame < 2; ++frame) {
        err += "DMA output sync(pre-read) failed: " + reason +
               "\nDMA output sync(post-read) failed: " + reason + "\n<\n";
      }
    }
    EXPECT_EQ(out, r.out) << (silent ? "with -s" : "");
    EXPECT_EQ(err, r.err) << (silent ? "with -s" : "");
  }
}

INSTANTIATE_TEST_SUITE_P(BothBackends, Buffers, testing::Values(Backend::Drm, Backend::Library),
                         [](const testing::TestParamInfo<Backend> &p) {
                           return p.param == Backend::Drm ? "DrmDevice" : "LibraryAllocator";
                         });

// A job with an empty picture, or with a buffer beyond what the platform can hold, is refused
// before anything is allocated: no wrapped size ever reaches an allocator or a frame's write.
using JobLimits = WarpbenchTest;

TEST_F(JobLimits, EmptyPicturesAndOversizedBuffersAreRefusedBeforeAllocation) {
  const std::string empty = " refused: its width and height must not be 0\n";
  const std::string oversized = " buffer would need more than 2147483647 bytes\n";
  const struct {
    std::vector<std::string> args;
    std::string err;
    std::vector<std::string> ops;
  } cases[] = {
      {{"-v", fmt(64, 0), "-x", fmt(64, 32)}, "Input picture 64x0" + empty, {}},
      {{"-v", fmt(64, 32), "-x", fmt(0, 0, "FBC0")}, "Output picture 0x0" + empty, {}},
      {{"-v", fmt(3840, 2160), "-x", fmt(2, 16), "--stride-out", "2668926", "--stream-to", "o.yuv"},
       "Job refused: its output picture" + oversized,
       {"calFecMeshsize"}},
      {{"-v", "width=64,height=2147483648,pixelformat=NV12", "-x", fmt(64, 32), "--stride",
        "2147483647"},
       "Job refused: its input picture" + oversized,
       {"calFecMeshsize"}},
      {{"-v", fmt(64, 32), "-x", fmt(64, 2160, "FBC0"), "--stride-out", "2147483647"},
       "Job refused: its output picture" + oversized,
       {"calFecMeshsize"}},
  };
  write_mesh();
  for (const auto &c : cases) {
    ProgramResult r = run(with(c.args, {"--mesh-from", "mesh.bin"}));
    EXPECT_EQ(1, r.exit_status) << c.err;
    EXPECT_EQ(c.err, r.err);
    EXPECT_EQ("", r.out) << c.err;
    EXPECT_EQ(c.ops, trace_ops()) << c.err;
    EXPECT_EQ(0, device_report()["device_opened"]) << c.err;
  }
  EXPECT_EQ(-1, access(mDir.file("o.yuv").c_str(), F_OK)) << "no output file either";
}

// Faults of the DRM device, injected at the second allocation (mesh[1]).
using DrmFaults = WarpbenchTest;

TEST_F(DrmFaults, EachFailureIsReportedAndUndone) {
  write_picture();
  write_mesh();
  const long page = sysconf(_SC_PAGESIZE);
  struct {
    const char *variable;
    std::string stdout_tail;  // what follows mesh[0]'s report line
    int created;
  } cases[] = {
      {"SOCDRM_FAIL_CREATE", "failed to GEM_CREATE req.size " + std::to_string(kTwoPages) + "\n",
       1},
      {"SOCDRM_FAIL_EXPORT", "failed to get dma dma_node_fd.\n", 2},
      {"SOCDRM_FAIL_MAP_OFFSET", "failed to ioctl gem map offset.", 2},
      {"SOCDRM_FAIL_MMAP",
       "handle = 2, dma_fd = FD, alloc_size = 54, real_size = " + std::to_string(kTwoPages) +
           "\nfailed to mmap buffer. offset = " + std::to_string(0x10000000 + 2 * page) +
           ", reason: Cannot allocate memory\n",
       2},
  };
  for (const auto &c : cases) {
    mExtraEnv.clear();
    mExtraEnv[c.variable] = "2";
    ProgramResult r = run(with(picture_args(), {"--mesh-from", "mesh.bin"}));
    EXPECT_EQ(255, r.exit_status) << c.variable;
    EXPECT_EQ("init_lenswarp_bufs failed: Cannot allocate memory\n", r.err) << c.variable;
    // What follows mesh[0]'s report line, which comes first in every case.
    std::string tail = r.out.substr(r.out.find('\n', r.out.find("mesh fd:")) + 1);
    EXPECT_EQ(c.stdout_tail, std::regex_replace(tail, std::regex("dma_fd = [0-9]+"), "dma_fd = FD"))
        << c.variable;
    json report = device_report();
    EXPECT_EQ(1, report["faults_injected"]) << c.variable;
    EXPECT_EQ(c.created, report["objects_created"]) << c.variable;
    EXPECT_TRUE(trace_of("init").empty()) << "the library is never opened";
  }

  // A failure at the last buffer gives back the three before it.
  mExtraEnv.clear();
  mExtraEnv["SOCDRM_FAIL_CREATE"] = "4";
  ProgramResult r = run(with(picture_args(), {"--mesh-from", "mesh.bin"}));
  EXPECT_EQ(255, r.exit_status);
  EXPECT_EQ(3, device_report()["objects_closed"]);
}

// A 64-bit kernel's DRM core hands out map offsets from 4 GiB on, to a 32-bit warpbench too.
TEST_F(DrmFaults, MapOffsetsAbove4GiBMapEveryBuffer) {
  write_picture();
  write_mesh();
  mExtraEnv["SOCDRM_MAP_OFFSETS"] = "high";
  ProgramResult r = run(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "3",
                                              "--stream-to", "out.yuv", "--fps", "0"}));
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ(4u, lines_starting(r.out, "handle = ").size()) << r.out;
  EXPECT_EQ(3u, trace_of("process").size());
  EXPECT_EQ(3 * kFrameBytes, mDir.read("out.yuv").size());
  EXPECT_EQ(4, device_report()["mappings_made"]);
}

TEST_F(DrmFaults, SocsimLauncherRunsACommandOnTheDevice) {
  write_picture();
  write_mesh();
  ProgramRun pr = prepare(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "1"}));
  pr.env.erase("LD_PRELOAD");
  pr.env["SOCSIM_EMULATOR"] = emulator_command();
  pr.args.insert(pr.args.begin(), pr.program);
  pr.program = staged_program("socsim");
  pr.native = true;
  ProgramResult r = run_program(pr);
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ(4u, lines_starting(r.out, "handle = ").size());
  expect_device_clean();
}

// The loader splits LD_PRELOAD at spaces and colons, so from such a folder the device would be
// lost and the command would run on the host's own: socsim refuses to run it.
TEST(SocsimLauncher, RefusesAFolderWhoseNameTheLoaderWouldSplit) {
  for (const std::string name : {"camtools 1", "camtools:1"}) {
    ScratchDir dir;
    const std::string root = dir.make_dir(name);
    dir.make_dir(name + "/bin");
    dir.make_dir(name + "/lib");
    ASSERT_EQ(0, symlink(staged_program("socsim").c_str(), (root + "/bin/socsim").c_str()));
    ASSERT_EQ(0,
              symlink((stage_dir() + "/lib/camtools").c_str(), (root + "/lib/camtools").c_str()));
    ProgramRun run;
    run.program = root + "/bin/socsim";
    run.args = {"touch", "ran"};
    run.cwd = dir.path();
    run.native = true;
    ProgramResult r = run_program(run);
    EXPECT_EQ(127, r.exit_status) << name;
    EXPECT_EQ("socsim: cannot preload " + root +
                  "/bin/../lib/camtools/libsocdrm-sim.so: the loader splits LD_PRELOAD at spaces "
                  "and colons; run socsim from a path without them\n",
              r.err);
    EXPECT_NE(0, access(dir.file("ran").c_str(), F_OK)) << "the command ran from " << name;
  }
}

}  // namespace
