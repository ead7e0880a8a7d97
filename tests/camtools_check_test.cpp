// camtools-check as installed, on the simulated platform: every check passes on the simulated
// device with the stand-in library, data files of the right sizes and tqzel-sim; each fault turns
// its own line into a failure with its hint and leaves every other line as it was; --json says
// what the lines say; the service line says what quillox would find.
#include <camtools_version.h>
#include <libgen.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "golden_text.h"
#include "loopback_socket.h"
#include "pty_session.h"
#include "quillox_support.h"
#include "warpbench_fixture.h"

namespace {

const char kPictureFile[] = "imx415_4k_nv12.yuv";
const char kMesh0File[] = "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level000.bin";
const char kMesh200File[] = "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level200.bin";
const off_t kPictureBytes = (off_t)nv12_frame_bytes(3840, 2160);
const off_t kMeshBytes = 6 * 121 * 136;

// The checks' places in the output.
enum Line {
  kDrmLine,
  kLibraryLine,
  kPictureLine,
  kMesh0Line,
  kMesh200Line,
  kServiceLine,
  kTermLine
};

const char kGemHint[] =
    "      hint: card0 must belong to the SoC's own DRM driver, whose GEM create and map-offset "
    "commands warpbench uses (see ls -l /sys/class/drm/card0/device/driver and dmesg); when it is "
    "out of memory, its buffer area (CMA) is short: free some, or enlarge it with cma= on the "
    "kernel command line\n";
const char kMeshHint[] =
    "      hint: put the lens's mesh file there, or set WARPBENCH_DATA_DIR to the directory that "
    "holds it (by default /data); on the simulated platform, fec-mesh --calib-ini INI --size "
    "3840x2160 --level 0 --level 200 --dir DIR writes both\n";
const char kServiceHint[] =
    "      hint: start the tuning service (TQZEL) on the board, or set QUILLOX_SERVICE to where it "
    "listens; on a development host, start the stand-in: tqzel-sim &\n";
const char kEndedHint[] =
    "      hint: the library ended the process that called it, as it would end warpbench: see its "
    "messages on standard error and in dmesg; a library from another SDK release than the kernel "
    "can fail this way\n";

// The directory of a library built in the test tree, for LD_LIBRARY_PATH.
std::string directory_of(const char *library) {
  std::string path = library;
  return dirname(&path[0]);
}

// What quillox makes of the service with `env`: whether it printed a dump between its frame
// lines (its failures leave the frame empty).
bool quillox_takes_dump(const std::map<std::string, std::string> &env) {
  ProgramResult r = runQuillox({}, env);
  const std::string head = "DUMP OF SERVICE all:\n";
  const std::string foot = std::string(79, '-') + "\nEND DUMP OF SERVICE all:\n";
  size_t begin = r.out.find(head), end = r.out.find(foot);
  EXPECT_TRUE(begin != std::string::npos && end != std::string::npos) << r.out;
  return begin != std::string::npos && end != std::string::npos && end > begin + head.size();
}

// What the library check asks of the stand-in, everything given back in reverse order.
const std::vector<std::string> kIdentityJobCalls = {"vb_init", "vb_alloc", "vb_alloc",
                                                    "init",    "process",  "deinit",
                                                    "vb_free", "vb_free",  "vb_deinit"};

std::string joined(const std::vector<std::string> &blocks) {
  std::string text;
  for (const std::string &b : blocks) text += b;
  return text;
}

std::vector<std::string> replaced(std::vector<std::string> blocks, Line line,
                                  const std::string &block) {
  blocks[line] = block;
  return blocks;
}

class CamtoolsCheckTest : public WarpbenchTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mService.ready()) << mService.log();
    mDir.make_dir("data");
    mDataDir = make_data_files("data");
    mBaseEnv = {{"WARPBENCH_DATA_DIR", mDataDir}, {"QUILLOX_SERVICE", mService.endpoint()}};
#ifdef CAMTOOLS_CHECK_SANITIZED
    // The sanitizer's dlopen interceptor calls dlopen itself, so the loader searches the
    // interceptor's run path (none) rather than camtools-check's: the directory is named here, as
    // a user would name it.
    mBaseEnv["LD_LIBRARY_PATH"] = stage_dir() + "/lib/camtools";
#endif
    mExtraEnv = mBaseEnv;
  }

  std::string program() const override {
    return staged_program("camtools-check");
  }

  // The stand-in library where the loader finds it.
  static std::string staged_library() {
#ifdef CAMTOOLS_CHECK_SANITIZED
    return stage_dir() + "/lib/camtools/libLenswarp.so";
#else
    return stage_dir() + "/bin/../lib/camtools/libLenswarp.so";  // by the run path
#endif
  }

  // The three data files in the scratch directory's `dir`, sparse, of their right sizes, in place
  // of what is there. Returns the directory's path.
  std::string make_data_files(const std::string &dir) const {
    const struct {
      const char *name;
      off_t size;
    } files[] = {
        {kPictureFile, kPictureBytes}, {kMesh0File, kMeshBytes}, {kMesh200File, kMeshBytes}};
    for (const auto &f : files) {
      const std::string path = mDir.file(dir + "/" + f.name);
      remove(path.c_str());  // a file, or the empty directory a case put there
      mDir.write(dir + "/" + f.name, "");
      EXPECT_EQ(0, truncate(path.c_str(), f.size)) << path;
    }
    return mDir.file(dir);
  }

  // The lines of a run in which every check passed, one block per check.
  std::vector<std::string> passing() const {
    return {
        "ok    drm device      /dev/dri/card0: driver socdrm-sim 1.0.0 (Simulated SoC DRM "
        "device), GEM create, PRIME export, map offset and mmap work\n",
        "ok    fec library     " + staged_library() +
            ": all 13 operations found, a 32x16 identity job ran\n",
        "ok    input picture   " + mDataDir + "/" + kPictureFile +
            ": 12441600 bytes, one 3840x2160 NV12 picture\n",
        "ok    mesh level 0    " + mDataDir + "/" + kMesh0File +
            ": 98736 bytes, a 3840x2160 mesh in steps of 32x16\n",
        "ok    mesh level 200  " + mDataDir + "/" + kMesh200File +
            ": 98736 bytes, a 3840x2160 mesh in steps of 32x16\n",
        "ok    tuning service  " + mService.endpoint() + ": answered a dump request\n",
        "info  terminal        standard input is not a terminal\n"
        "      hint: warpbench -t reads its keys from standard input: run it from a terminal "
        "(over ssh, with ssh -t)\n",
    };
  }

  ServiceProcess mService{{"--port", "0"}};
  std::string mDataDir;
  std::map<std::string, std::string> mBaseEnv;
};

TEST_F(CamtoolsCheckTest, EveryCheckPassesOnTheSimulatedPlatform) {
  ProgramResult r = run({});
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(joined(passing()), r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, device_report()["objects_created"]);  // given back: run() checks the report
  EXPECT_EQ(1, device_report()["exported"]);
  EXPECT_EQ(kIdentityJobCalls, trace_ops());
}

TEST_F(CamtoolsCheckTest, TheTerminalLinePassesOnATerminal) {
  PtySession session(prepare({}));
  ProgramResult r = session.wait(60);
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(joined(replaced(passing(), kTermLine,
                            "ok    terminal        standard input is a terminal\n")),
            r.out);
}

TEST_F(CamtoolsCheckTest, EachFaultFailsItsOwnLineOnly) {
  OwnedFd unused = bind_loopback(0);
  ASSERT_TRUE(unused.valid());
  const std::string unused_uri = "tcp://127.0.0.1:" + std::to_string(bound_port(unused.get()));
  TuningPeer silent("", TuningPeer::kHolds);
  ASSERT_TRUE(silent.listening()) << silent.listenError();
  const std::string missing_dir = directory_of(MISSING_OPERATION_LIBRARY);
  const std::string misbehaving_dir = directory_of(MISBEHAVING_INIT_LIBRARY);
  const std::string misbehaving_init =
      "FAIL  fec library     " + misbehaving_dir +
      "/libLenswarp.so: tq_lenswarp_api_init of a 32x16 identity job ended the process ";
  const std::string picture = mDataDir + "/" + kPictureFile;
  const std::string mesh0 = mDataDir + "/" + kMesh0File;
  const std::string mesh200 = mDataDir + "/" + kMesh200File;

  struct Fault {
    const char *name;
    std::map<std::string, std::string> env;
    std::function<void()> arrange;  // on the data files
    Line line;
    std::string block;
    bool job_runs;  // the stand-in library runs its job
  };
  // qemu-user says it of a program that dies of SIGSEGV, whatever the core limit.
  const std::string emulator_segv =
      emulator_command().empty()
          ? ""
          : "qemu: uncaught target signal 11 (Segmentation fault) - core dumped\n";
  const Fault faults[] = {
      {"no device",
       {{"SOCDRM_NO_DEVICE", "1"}},
       nullptr,
       kDrmLine,
       "FAIL  drm device      /dev/dri/card0: No such file or directory\n"
       "      hint: load the SoC's DRM driver, which makes the device node when it binds (see "
       "dmesg and lsmod); on a development host, run under the simulated device: socsim "
       "camtools-check\n",
       true},
      {"GEM create refused",
       {{"SOCDRM_FAIL_CREATE", "1"}},
       nullptr,
       kDrmLine,
       std::string("FAIL  drm device      /dev/dri/card0: driver socdrm-sim; GEM create of one "
                   "page (command 0xC0106440) failed: Cannot allocate memory\n") +
           kGemHint,
       true},
      {"map offset refused",
       {{"SOCDRM_FAIL_MAP_OFFSET", "1"}},
       nullptr,
       kDrmLine,
       std::string("FAIL  drm device      /dev/dri/card0: driver socdrm-sim; GEM map offset "
                   "(command 0xC0106441) failed: Cannot allocate memory\n") +
           kGemHint,
       true},
      {"PRIME export refused",
       {{"SOCDRM_FAIL_EXPORT", "1"}},
       nullptr,
       kDrmLine,
       "FAIL  drm device      /dev/dri/card0: driver socdrm-sim; PRIME export of the GEM object "
       "as a DMA-buf failed: Cannot allocate memory\n"
       "      hint: card0's driver must export GEM objects as DMA-bufs (PRIME), which warpbench "
       "hands to the FEC library: see which driver it is (ls -l "
       "/sys/class/drm/card0/device/driver) and its messages in dmesg; when it is out of memory, "
       "its buffer area (CMA) is short: free some, or enlarge it with cma= on the kernel command "
       "line\n",
       true},
      {"a library without one operation",
       {{"LD_LIBRARY_PATH", missing_dir}},
       nullptr,
       kLibraryLine,
       "FAIL  fec library     " + missing_dir +
           "/libLenswarp.so lacks tq_lenswarp_api_set_mesh_config\n"
           "      hint: this libLenswarp.so is not the maker's library warpbench was built for: "
           "install the matching release (ldd warpbench shows the one warpbench loads)\n",
       false},
      {"the frame fails",
       {{"LENSWARP_FAIL_PROCESS_AT", "1"}},
       nullptr,
       kLibraryLine,
       "FAIL  fec library     " + staged_library() +
           ": tq_lenswarp_api_process of a 32x16 identity job failed: Input/output error\n"
           "      hint: the library did not run a small job: check that the FEC engine's kernel "
           "driver is loaded and its messages in dmesg; a library from another SDK release than "
           "the kernel fails this way\n",
       true},
      {"init crashes",
       {{"LD_LIBRARY_PATH", misbehaving_dir}, {"FAKE_LENSWARP_INIT", "crash"}},
       nullptr,
       kLibraryLine,
       misbehaving_init + "by signal 11 (Segmentation fault)\n" + kEndedHint,
       false},
      {"init ends the process with _exit(0)",
       {{"LD_LIBRARY_PATH", misbehaving_dir}, {"FAKE_LENSWARP_INIT", "exit"}},
       nullptr,
       kLibraryLine,
       misbehaving_init + "with status 0\n" + kEndedHint,
       false},
      {"init raises SIGTERM",
       {{"LD_LIBRARY_PATH", misbehaving_dir}, {"FAKE_LENSWARP_INIT", "signal"}},
       nullptr,
       kLibraryLine,
       misbehaving_init + "by signal 15 (Terminated)\n" + kEndedHint,
       false},
      {"picture one byte short",
       {},
       [&] { ASSERT_EQ(0, truncate(picture.c_str(), kPictureBytes - 1)); },
       kPictureLine,
       "FAIL  input picture   " + picture +
           " has 12441599 bytes, not the 12441600 of one 3840x2160 NV12 picture\n"
           "      hint: put the 3840x2160 NV12 picture there, or set WARPBENCH_DATA_DIR to the "
           "directory that holds it (by default /data); on the simulated platform, nv12-testpic "
           "3840 2160 FILE writes one\n",
       true},
      {"mesh file a directory",
       {},
       [&] {
         ASSERT_EQ(0, remove(mesh0.c_str()));
         ASSERT_EQ(0, mkdir(mesh0.c_str(), 0755));
       },
       kMesh0Line,
       "FAIL  mesh level 0    " + mesh0 + " is not a regular file\n" + kMeshHint,
       true},
      {"mesh file missing",
       {},
       [&] { ASSERT_EQ(0, remove(mesh200.c_str())); },
       kMesh200Line,
       "FAIL  mesh level 200  " + mesh200 + ": No such file or directory\n" + kMeshHint,
       true},
      {"no service",
       {{"QUILLOX_SERVICE", unused_uri}},
       nullptr,
       kServiceLine,
       "FAIL  tuning service  " + unused_uri + ": connect: Connection refused\n" + kServiceHint,
       true},
      {"a service that does not answer",
       {{"QUILLOX_SERVICE", silent.uri()}, {"QUILLOX_TIMEOUT", "1"}},
       nullptr,
       kServiceLine,
       "FAIL  tuning service  " + silent.uri() +
           ": 0 of 8 answer head bytes received; no progress for 1 s (QUILLOX_TIMEOUT)\n"
           "      hint: the service took the connection but did not answer whole: restart it and "
           "see its log; QUILLOX_TIMEOUT gives it more time\n",
       true},
  };
  for (const Fault &f : faults) {
    SCOPED_TRACE(f.name);  // also for the device's report, which run() checks
    make_data_files("data");
    if (f.arrange) f.arrange();
    mExtraEnv = mBaseEnv;
    for (const auto &kv : f.env) mExtraEnv[kv.first] = kv.second;
    ProgramResult r = run({});
    EXPECT_EQ(1, r.exit_status);
    EXPECT_EQ(joined(replaced(passing(), f.line, f.block)), r.out);
    const bool segv = f.block.find("by signal 11 (") != std::string::npos;
    EXPECT_EQ(segv ? emulator_segv : "", r.err);
    EXPECT_EQ(f.job_runs ? kIdentityJobCalls : std::vector<std::string>(), trace_ops());
  }
}

// The JSON object, written out as lines, must be the lines: every verdict, ready or not, also
// when the library's probe dies (nothing of it may reach the object). Its bytes, escapes and all,
// are the unit test's.
TEST_F(CamtoolsCheckTest, JsonSaysWhatTheLinesSay) {
  const std::map<std::string, std::string> variants[] = {
      {},
      {{"LD_LIBRARY_PATH", directory_of(MISBEHAVING_INIT_LIBRARY)},
       {"FAKE_LENSWARP_INIT", "crash"}}};
  const std::map<std::string, std::string> verdict_words = {
      {"ok", "ok"}, {"fail", "FAIL"}, {"info", "info"}};
  for (const auto &variant : variants) {
    mExtraEnv = mBaseEnv;
    for (const auto &kv : variant) mExtraEnv[kv.first] = kv.second;
    ProgramResult text = run({});
    ProgramResult json = run({"--json"});
    EXPECT_EQ(text.exit_status, json.exit_status);
    ASSERT_EQ(json.out.size() - 1, json.out.find('\n')) << json.out;
    nlohmann::json j = nlohmann::json::parse(json.out);
    EXPECT_EQ(json.exit_status == 0, j["ready"]) << j;
    std::string lines;
    for (const auto &c : j["checks"]) {
      EXPECT_EQ(5u, c.size()) << c;
      EXPECT_EQ(c["name"] != "terminal", c["required"]) << c;
      char head[32];
      snprintf(head, sizeof(head), "%-6s%-16s",
               verdict_words.at(c["verdict"].get<std::string>()).c_str(),
               c["name"].get<std::string>().c_str());
      lines += head + c["detail"].get<std::string>() + "\n";
      if (c["hint"] != "") lines += "      hint: " + c["hint"].get<std::string>() + "\n";
    }
    EXPECT_EQ(text.out, lines);
  }
}

// The limit is fixed, so this run takes its 10 s; every other case of a library that does not
// return is this one.
TEST_F(CamtoolsCheckTest, ALibraryThatHangsFailsAtTheLimit) {
  const std::string dir = directory_of(MISBEHAVING_INIT_LIBRARY);
  mExtraEnv["LD_LIBRARY_PATH"] = dir;
  mExtraEnv["FAKE_LENSWARP_INIT"] = "hang";
  ProgramResult r = run({});
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ(joined(replaced(
                passing(), kLibraryLine,
                "FAIL  fec library     " + dir +
                    "/libLenswarp.so: tq_lenswarp_api_init of a 32x16 identity job did not return "
                    "within 10 s\n"
                    "      hint: the library did not return, and warpbench would wait on it for "
                    "ever: check that the FEC engine's kernel driver is loaded and responds, and "
                    "its messages in dmesg; a library from another SDK release than the kernel "
                    "can hang this way\n")),
            r.out);
  EXPECT_EQ("", r.err);
}

// stat finds a file of mode 000 as it finds any other; warpbench cannot open it.
TEST_F(CamtoolsCheckTest, AFileWarpbenchCannotOpenFails) {
  const std::string picture = mDataDir + "/" + kPictureFile;
  ASSERT_EQ(0, chmod(picture.c_str(), 0));
  ProgramRun run = prepare({});
  if (geteuid() == 0) {
    // Root opens any file: the check runs as nobody, who may use the scratch folder.
    ASSERT_EQ(0, chmod(mDir.path().c_str(), 0777));
    run.uid = 65534;
    run.gid = 65534;
  }
  ProgramResult r = run_program(run);
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ(joined(replaced(passing(), kPictureLine,
                            "FAIL  input picture   " + picture +
                                ": opening it for reading: Permission denied\n"
                                "      hint: the user who runs warpbench must be able to read it: "
                                "see ls -l on the file and its directories, and give that user "
                                "read permission (chmod, chown or chgrp)\n")),
            r.out);
  EXPECT_EQ("", r.err);
  expect_device_clean();
}

// The service line is quillox's verdict on the same address and answer.
TEST_F(CamtoolsCheckTest, TheServiceLineAgreesWithQuillox) {
  ServiceProcess large({"--port", "0", "--size", "1048577"});
  ASSERT_TRUE(large.ready()) << large.log();
  const std::string socket = mDir.file("tqzel.sock");
  ServiceProcess local({"--socket", socket});
  ASSERT_TRUE(local.ready()) << local.log();
  const std::string short_form = "tcp://127.1:" + std::to_string(mService.port());
  const std::string host_name = "tcp://localhost:" + std::to_string(mService.port());
  const std::string by_socket = "domain://" + socket;
  const std::string no_socket = "domain://" + mDir.file("none.sock");
  ASSERT_LT(socket.size(), 108u);
  const std::string over_108 = by_socket + std::string(108 - socket.size(), 'x');
  const std::string no_path_hint =
      ": no socket path of 1 to 107 characters\n"
      "      hint: QUILLOX_SERVICE takes tcp://A.B.C.D:PORT or domain://PATH\n";
  struct Case {
    const char *name;
    std::map<std::string, std::string> env;
    std::string block;
  };
  const Case cases[] = {
      {"an address inet_addr reads",
       {{"QUILLOX_SERVICE", short_form}},
       "ok    tuning service  " + short_form + ": answered a dump request\n"},
      {"a host name, which quillox does not look up",
       {{"QUILLOX_SERVICE", host_name}},
       "FAIL  tuning service  " + host_name +
           ": no dotted IPv4 address and port 1 to 65535\n"
           "      hint: QUILLOX_SERVICE takes tcp://A.B.C.D:PORT or domain://PATH\n"},
      {"a dump one byte over QUILLOX_MAX_DUMP",
       {{"QUILLOX_SERVICE", large.endpoint()}, {"QUILLOX_MAX_DUMP", "1"}},
       "FAIL  tuning service  " + large.endpoint() +
           ": the answer announces a dump of 1048577 bytes, over quillox's limit of 1 MiB "
           "(QUILLOX_MAX_DUMP)\n"
           "      hint: quillox refuses a dump this large: if the service's dumps are this large, "
           "raise QUILLOX_MAX_DUMP (in MiB, up to 4096); otherwise the answer is corrupt: restart "
           "the service and see its log\n"},
      {"the same dump within QUILLOX_MAX_DUMP",
       {{"QUILLOX_SERVICE", large.endpoint()}, {"QUILLOX_MAX_DUMP", "2"}},
       "ok    tuning service  " + large.endpoint() + ": answered a dump request\n"},
      {"a local socket",
       {{"QUILLOX_SERVICE", by_socket}},
       "ok    tuning service  " + by_socket + ": answered a dump request\n"},
      {"a local socket nobody made",
       {{"QUILLOX_SERVICE", no_socket}},
       "FAIL  tuning service  " + no_socket + ": connect: No such file or directory\n" +
           kServiceHint},
      {"a socket path of 108 bytes",
       {{"QUILLOX_SERVICE", over_108}},
       "FAIL  tuning service  " + over_108 + no_path_hint},
      {"no socket path",
       {{"QUILLOX_SERVICE", "domain://"}},
       "FAIL  tuning service  domain://" + no_path_hint},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    mExtraEnv = mBaseEnv;
    for (const auto &kv : c.env) mExtraEnv[kv.first] = kv.second;
    ProgramResult r = run({});
    const bool ok = c.block.compare(0, 2, "ok") == 0;
    EXPECT_EQ(ok ? 0 : 1, r.exit_status);
    EXPECT_EQ(joined(replaced(passing(), kServiceLine, c.block)), r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(ok, quillox_takes_dump(c.env));
  }
}

// A byte every 0.2 s restarts the idle time-out of 2 s for as long as the answer lasts (minutes);
// the check's deadline ends it.
TEST_F(CamtoolsCheckTest, AServiceThatDripsMeetsTheDeadline) {
  ServiceProcess drip({"--port", "0", "--drip", "200"});
  ASSERT_TRUE(drip.ready()) << drip.log();
  mExtraEnv["QUILLOX_SERVICE"] = drip.endpoint();
  mExtraEnv["QUILLOX_TIMEOUT"] = "2";
  ProgramResult r = run({});
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ("", r.err);
  const std::regex line(
      "FAIL  tuning service  " + drip.endpoint() +
      ": [0-9]+ of [0-9]+ announced dump bytes received; stopped at the check's deadline of 10 "
      "s for the whole exchange, where quillox would still be receiving\n"
      "      hint: the service keeps the exchange going without finishing it, and quillox would "
      "wait on: see the service's log and the board's load, and restart the service\n");
  std::vector<std::string> blocks = passing();
  const size_t at =
      joined(std::vector<std::string>(blocks.begin(), blocks.begin() + kServiceLine)).size();
  const size_t rest = blocks[kTermLine].size();
  ASSERT_GT(r.out.size(), at + rest) << r.out;
  EXPECT_TRUE(std::regex_match(r.out.substr(at, r.out.size() - at - rest), line)) << r.out;
  EXPECT_EQ(joined(replaced(passing(), kServiceLine, "")),
            r.out.substr(0, at) + r.out.substr(r.out.size() - rest));
}

// A report cut short must not pass for a verdict.
TEST_F(CamtoolsCheckTest, AReportThatCannotBeWrittenFails) {
  for (const char *mode : {"", "--json"}) {
    SCOPED_TRACE(mode);
    ProgramRun run =
        prepare(*mode != '\0' ? std::vector<std::string>{mode} : std::vector<std::string>{});
    run.stdout_to = "/dev/full";
    ProgramResult r = run_program(run);
    EXPECT_EQ(3, r.exit_status);
    EXPECT_EQ("camtools-check: writing the report failed: No space left on device\n", r.err);
  }
}

TEST_F(CamtoolsCheckTest, CommandLine) {
  const std::string &usage = golden_text("camtools-check.usage");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  };
  const Case cases[] = {
      {{"--version"}, 0, "camtools-check " CAMTOOLS_VERSION "\n", ""},
      {{"--help"}, 0, usage, ""},
      {{"--json", "--help"}, 0, usage, ""},
      {{"--bogus"}, 2, "", "camtools-check: unknown option '--bogus'\n" + usage},
      {{"--json", "extra"}, 2, "", "camtools-check: unexpected argument 'extra'\n" + usage},
  };
  for (const Case &c : cases) {
    ProgramResult r = run(c.args);
    EXPECT_EQ(c.status, r.exit_status) << c.args[0];
    EXPECT_EQ(c.out, r.out) << c.args[0];
    EXPECT_EQ(c.err, r.err) << c.args[0];
  }
}

}  // namespace
