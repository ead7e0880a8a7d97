// warpbench's run statistics (WARPBENCH_STATS, WARPBENCH_FRAMES) against the stand-in library's
// own call trace of the same run.
#include <camtools_version.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

#include "owned_fd.h"
#include "warpbench_fixture.h"

namespace {

using nlohmann::json;

struct FrameRow {
  int64_t frame, deadline_ns, start_ns, end_ns, write_ns;
};

class WarpbenchStats : public WarpbenchTest {
 protected:
  WarpbenchStats() {
    mExtraEnv["WARPBENCH_STATS"] = mDir.file("stats.json");
    mExtraEnv["WARPBENCH_FRAMES"] = mDir.file("frames.csv");
  }

  json summary() const {
    std::string text = mDir.read("stats.json");
    EXPECT_FALSE(text.empty());
    EXPECT_EQ('\n', text.back()) << "one line";
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line";
    return json::parse(text);
  }

  std::vector<FrameRow> frames() const {
    std::ifstream f(mDir.file("frames.csv"));
    std::string line;
    std::getline(f, line);
    EXPECT_EQ("frame,deadline_ns,start_ns,end_ns,write_ns", line);
    std::vector<FrameRow> rows;
    while (std::getline(f, line)) {
      FrameRow r;
      char c[4];
      std::istringstream in(line);
      in >> r.frame >> c[0] >> r.deadline_ns >> c[1] >> r.start_ns >> c[2] >> r.end_ns >> c[3] >>
          r.write_ns;
      EXPECT_TRUE(in && in.peek() == EOF) << line;
      EXPECT_EQ((int64_t)rows.size(), r.frame);
      rows.push_back(r);
    }
    return rows;
  }
};

// A distribution of the summary against the exact values it was made of: count, min, max and
// mean exact (to the printed nanosecond); the percentiles lie between min and max in order (the
// histogram's unit test has their exact values).
void expect_distribution(const json &d, const std::vector<int64_t> &ns, const char *what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(ns.size(), d["count"].get<size_t>());
  if (ns.empty()) return;
  const double us = 1e3, rounding = 0.0006;
  EXPECT_NEAR(*std::min_element(ns.begin(), ns.end()) / us, d["min"].get<double>(), rounding);
  EXPECT_NEAR(*std::max_element(ns.begin(), ns.end()) / us, d["max"].get<double>(), rounding);
  double sum = 0;
  for (int64_t v : ns) sum += (double)v;
  EXPECT_NEAR(sum / ns.size() / us, d["mean"].get<double>(), rounding);
  double below = d["min"].get<double>();
  for (const char *p : {"p50", "p90", "p99", "p99_9"}) {
    EXPECT_LE(below, d[p].get<double>()) << p;
    below = d[p].get<double>();
  }
  EXPECT_LE(below, d["max"].get<double>());
}

// CLOCK_REALTIME in milliseconds.
int64_t wall_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// "YYYY-MM-DDTHH:MM:SS.mmmZ" in milliseconds since the epoch, or -1.
int64_t iso_ms(const std::string &text) {
  struct tm t = {};
  int ms = 0;
  if (sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &t.tm_year, &t.tm_mon, &t.tm_mday,
             &t.tm_hour, &t.tm_min, &t.tm_sec, &ms) != 7) {
    return -1;
  }
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  return (int64_t)timegm(&t) * 1000 + ms;
}

TEST_F(WarpbenchStats, FiguresAgreeWithTheLibrarysTrace) {
  write_picture();
  write_mesh();
  const int fps = 500, skip = 2, count = 20;
  const int64_t before_ms = wall_ms();
  ProgramResult r =
      run(with(picture_args(), {"--mesh-from", "mesh.bin", "--fps", std::to_string(fps),
                                "--stream-skip", std::to_string(skip), "--stream-count",
                                std::to_string(count), "--stream-to", "out.yuv"}));
  ASSERT_EQ(0, r.exit_status) << r.err;
  const int64_t after_ms = wall_ms();
  const std::vector<json> calls = trace_of("process");
  const std::vector<FrameRow> rows = frames();
  const json s = summary();
  ASSERT_EQ((size_t)(skip + count), calls.size());
  ASSERT_EQ(calls.size(), rows.size());
  EXPECT_EQ(json::parse(R"({"engine_calls":22,"frames_written":20,"frames_skipped":2,
                            "engine_failures":0})"),
            s["counts"]);

  const int64_t period = 1000000000 / fps;
  std::vector<int64_t> engine, lateness, writes, gaps;
  for (size_t k = 0; k < rows.size(); ++k) {
    const FrameRow &f = rows[k];
    const int64_t t = calls[k]["t_ns"], dur = calls[k]["dur_ns"];
    EXPECT_EQ(rows[0].deadline_ns + (int64_t)k * period, f.deadline_ns) << k;
    EXPECT_LE(f.deadline_ns, f.start_ns) << k;
    // The library's call lies within warpbench's stamps of it.
    EXPECT_LE(f.start_ns, t) << k;
    EXPECT_GE(f.end_ns, t + dur) << k;
    gaps.push_back((t - f.start_ns) + (f.end_ns - t - dur));
    EXPECT_EQ(k >= (size_t)skip, f.write_ns > 0) << k;
    engine.push_back(f.end_ns - f.start_ns);
    lateness.push_back(f.start_ns - f.deadline_ns);
    if (f.write_ns > 0) writes.push_back(f.write_ns);
  }
  // Stamps and trace differ by the clock reads and the trace's own line; a preempted frame may
  // differ more, the typical one not.
  std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
  EXPECT_LT(gaps[gaps.size() / 2], 2000000);
  expect_distribution(s["engine_us"], engine, "engine_us");
  expect_distribution(s["lateness_us"], lateness, "lateness_us");
  expect_distribution(s["write_us"], writes, "write_us");
  int64_t missed = 0;
  for (int64_t late : lateness) missed += late > period;
  EXPECT_EQ(missed, s["deadlines_missed"]);

  const json run_info = s["run"];
  EXPECT_EQ(CAMTOOLS_VERSION, run_info["version"]);
  EXPECT_EQ(json::parse(R"({"width":64,"height":32,"format":"NV12"})"), run_info["input"]);
  EXPECT_EQ(run_info["input"], run_info["output"]);
  EXPECT_EQ(fps, run_info["fps"]);
  EXPECT_EQ(period, run_info["period_ns"]);
  EXPECT_EQ("file", run_info["mesh_source"]);
  EXPECT_EQ("drm", run_info["allocator"]);
  // Within the test's own clock readings around the run (to the millisecond it is cut to).
  const int64_t start_ms = iso_ms(run_info["start_time"]);
  EXPECT_LE(before_ms - 1, start_ms) << run_info["start_time"];
  EXPECT_GE(after_ms, start_ms) << run_info["start_time"];
  EXPECT_GT(run_info["max_rss_kib"].get<long>(), 0);
  // The loop spans at least n - 1 periods, so it never achieves more than n / (n - 1) x fps.
  // and never less than the frames over the whole run as the test's clock saw it.
  const double n = (double)rows.size();
  EXPECT_GE(s["achieved_fps"].get<double>(), n * 1000 / (double)(after_ms - before_ms + 1));
  EXPECT_LE(s["achieved_fps"].get<double>(), fps * n / (n - 1));
}

// Missed deadlines: none when the period is far longer than the frame; some when a frame takes
// far longer than the period (the engine on one thread over a full-HD picture, checked in the
// trace); none to count without pacing. An engine failure ends the loop and is counted.
TEST_F(WarpbenchStats, DeadlinesMissedFollowTheEnginesPace) {
  const std::string big = "width=1920,height=1080,pixelformat=NV12";
  mDir.write("big.yuv", std::string(nv12_frame_bytes(1920, 1080), '\x40'));
  write_picture();
  write_ini();
  const int64_t kNull = -1, kSome = -2;
  const struct {
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    int64_t missed;
    uint64_t failures;
    const char *mesh_source;
    Backend backend;
  } cases[] = {
      {{"-v", big, "-x", big, "--stream-from", "big.yuv", "--fps", "1000", "--stream-count", "4"},
       {{"LENSWARP_THREADS", "1"}},
       kSome,
       0,
       "ini online",
       Backend::Drm},
      {with(picture_args(), {"--fps", "1", "--stream-count", "2"}),
       {},
       0,
       0,
       "ini online",
       Backend::Drm},
      {with(picture_args(), {"--fps", "0", "--stream-count", "3", "--auto-parse-ini", "1"}),
       {{"LENSWARP_FAIL_PROCESS_AT", "2"}},
       kNull,
       1,
       "ini auto",
       Backend::Library},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[c.args.size() - 3]);
    mBackend = c.backend;
    for (const auto &e : c.env) mExtraEnv[e.first] = e.second;
    ProgramResult r = run(with(c.args, {"--calib-ini-from", "calib.ini"}), 120);
    for (const auto &e : c.env) mExtraEnv.erase(e.first);
    ASSERT_EQ(0, r.exit_status) << r.err;
    const json s = summary();
    const std::vector<FrameRow> rows = frames();
    ASSERT_EQ(trace_of("process").size(), rows.size());
    EXPECT_EQ(rows.size(), s["counts"]["engine_calls"]);
    EXPECT_EQ(c.failures, s["counts"]["engine_failures"]);
    EXPECT_EQ(c.mesh_source, s["run"]["mesh_source"]);
    EXPECT_EQ(c.backend == Backend::Drm ? "drm" : "library", s["run"]["allocator"]);
    if (c.missed == kNull) {
      EXPECT_TRUE(s["deadlines_missed"].is_null());
      EXPECT_TRUE(s["lateness_us"].is_null());
      EXPECT_TRUE(s["run"]["period_ns"].is_null());
      for (const FrameRow &f : rows) EXPECT_EQ(0, f.deadline_ns);
      continue;
    }
    const int64_t period = s["run"]["period_ns"];
    int64_t missed = 0;
    for (const FrameRow &f : rows) missed += f.start_ns - f.deadline_ns > period;
    EXPECT_EQ(missed, s["deadlines_missed"]);
    if (c.missed == kSome) {
      for (const json &call : trace_of("process")) {
        ASSERT_GT(call["dur_ns"].get<int64_t>(), 2 * period) << "the engine kept up after all";
      }
      EXPECT_GT(missed, 0);
    } else {
      EXPECT_EQ(c.missed, missed);
    }
  }
}

// A long run writes the frame log in blocks of 16384 records: every frame once, in order, the
// header once; the summary counts them all.
TEST_F(WarpbenchStats, TheFrameLogGoesOnPastItsFirstBlock) {
  write_picture();
  write_mesh();
  const int count = 16384 + 100;
  ProgramResult r = run(with(picture_args(), {"-s", "--mesh-from", "mesh.bin", "--fps", "0",
                                              "--stream-count", std::to_string(count)}),
                        300);
  ASSERT_EQ(0, r.exit_status) << r.err;
  const std::vector<FrameRow> rows = frames();  // checks the header and the indices
  ASSERT_EQ((size_t)count, rows.size());
  for (size_t k = 1; k < rows.size(); ++k) {
    ASSERT_LE(rows[k - 1].end_ns, rows[k].start_ns) << k;
  }
  EXPECT_EQ(count, summary()["counts"]["engine_calls"]);
}

// A stop signal ends the loop and the teardown still writes both files whole.
TEST_F(WarpbenchStats, AStopSignalStillWritesTheSummary) {
  write_picture();
  write_mesh();
  ProgramRun pr = prepare(with(picture_args(), {"--mesh-from", "mesh.bin", "--fps", "200"}));
  pr.while_running = [&](pid_t pid) {
    ASSERT_TRUE(wait_until([&] { return trace_of("process").size() >= 3; }, 30));
    kill(pid, SIGINT);
  };
  ProgramResult r = run_program(pr);
  EXPECT_EQ(SIGINT, r.signal);
  const size_t calls = trace_of("process").size();
  EXPECT_EQ(calls, summary()["counts"]["engine_calls"]);
  EXPECT_EQ(calls, frames().size());
}

// The files change nothing on the standard streams or in the status; one that does not open is
// said once on standard error, also with -s, and the run goes on. A run that ends before its
// frame loop leaves both files empty.
TEST_F(WarpbenchStats, AFileThatDoesNotOpenIsSaidOnceAndTheRunGoesOn) {
  write_picture();
  write_mesh();
  const std::vector<std::string> args =
      with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "2"});
  const std::map<std::string, std::string> files = mExtraEnv;
  mExtraEnv.clear();
  const ProgramResult plain = run(args);
  const ProgramResult plain_silent = run(with(args, {"-s"}));
  const std::string missing = mDir.file("no/such/dir");
  const struct {
    std::map<std::string, std::string> env;
    bool silent;
    std::string err;
  } cases[] = {
      {files, false, ""},
      {{{"WARPBENCH_STATS", missing}},
       false,
       "warpbench: WARPBENCH_STATS: cannot open " + missing +
           ": No such file or directory; no statistics are written\n"},
      {{{"WARPBENCH_FRAMES", missing}, {"WARPBENCH_STATS", files.at("WARPBENCH_STATS")}},
       true,
       "warpbench: WARPBENCH_FRAMES: cannot open " + missing +
           ": No such file or directory; no frame records are written\n"},
  };
  for (const auto &c : cases) {
    mExtraEnv = c.env;
    ProgramResult r = run(c.silent ? with(args, {"-s"}) : args);
    const ProgramResult &base = c.silent ? plain_silent : plain;
    EXPECT_EQ(base.exit_status, r.exit_status);
    EXPECT_EQ(base.out, r.out);
    EXPECT_EQ(c.err + base.err, r.err);
  }

  mExtraEnv = files;
  ProgramResult r = run(with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-from", "none"}));
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ("", mDir.read("stats.json"));
  EXPECT_EQ("", mDir.read("frames.csv"));
}

// A FIFO that nobody drains, or that nobody opens, holds the run only until a stop signal: the
// wait ends at once, the interrupted write or open is said (also with -s), and the run ends by the
// signal through its teardown. The frame log is written out after frame 16384 fills it, so the
// reader's pipe is full exactly then and the summary counts that many engine calls.
TEST_F(WarpbenchStats, AStopSignalEndsAnyWaitOnTheFiles) {
  write_picture();
  write_mesh();
  const std::vector<std::string> endless =
      with(picture_args(), {"-s", "--mesh-from", "mesh.bin", "--fps", "0"});
  ASSERT_EQ(0, mkfifo(mDir.file("stats.fifo").c_str(), 0600));
  ASSERT_EQ(0, mkfifo(mDir.file("frames.fifo").c_str(), 0600));

  // Neither FIFO has a reader: one signal ends both opens. They come after the buffers (a stop
  // before them ends the run without opening the files), which the library's allocator traces.
  mExtraEnv["WARPBENCH_STATS"] = mDir.file("stats.fifo");
  mExtraEnv["WARPBENCH_FRAMES"] = mDir.file("frames.fifo");
  mBackend = Backend::Library;
  ProgramRun pr = prepare(endless, 120);
  mBackend = Backend::Drm;
  pr.while_running = [&](pid_t pid) {
    // Two meshes, the input and the output: the last buffer is made.
    ASSERT_TRUE(wait_until([&] { return trace_of("vb_alloc").size() == 4; }, 60));
    kill(pid, SIGINT);
  };
  ProgramResult r = run_program(pr);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(SIGINT, r.signal);
  EXPECT_EQ("warpbench: WARPBENCH_STATS: cannot open " + mDir.file("stats.fifo") +
                ": Interrupted system call; no statistics are written\n"
                "warpbench: WARPBENCH_FRAMES: cannot open " +
                mDir.file("frames.fifo") +
                ": Interrupted system call; no frame records are written\n",
            r.err);
  EXPECT_TRUE(trace_of("process").empty());

  // A reader holds the frames FIFO open but never reads.
  mExtraEnv["WARPBENCH_STATS"] = mDir.file("stats.json");
  OwnedFd reader(open(mDir.file("frames.fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(reader.valid());
  const int capacity = fcntl(reader.get(), F_GETPIPE_SZ);
  pr = prepare(endless, 300);
  pr.while_running = [&](pid_t pid) {
    // Full: no further line fits, so the writer waits.
    ASSERT_TRUE(wait_until(
        [&] {
          int queued = 0;
          return ioctl(reader.get(), FIONREAD, &queued) == 0 && queued > capacity - PIPE_BUF;
        },
        240));
    kill(pid, SIGINT);
  };
  r = run_program(pr);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(SIGINT, r.signal);
  EXPECT_EQ("warpbench: WARPBENCH_FRAMES: writing " + mDir.file("frames.fifo") +
                " failed: Interrupted system call; the frame records are incomplete\n",
            r.err);
  EXPECT_EQ(16384, summary()["counts"]["engine_calls"]);
}

// A file named for a standard stream is that stream: written through its descriptor after what
// warpbench printed there, not truncated, each line whole. A log appended to with `>>` keeps what
// it had.
TEST_F(WarpbenchStats, AStandardStreamTakesTheFilesAfterItsOwnLines) {
  write_picture();
  write_mesh();
  const std::vector<std::string> args =
      with(picture_args(), {"--mesh-from", "mesh.bin", "--stream-count", "3", "--fps", "0"});
  mExtraEnv.clear();
  const ProgramResult base = run(args);
  ASSERT_EQ(0, base.exit_status) << base.err;

  mExtraEnv["WARPBENCH_STATS"] = "/dev/stderr";
  mExtraEnv["WARPBENCH_FRAMES"] = "/dev/stdout";
  ProgramResult r = run(args);
  ASSERT_EQ(0, r.exit_status) << r.err;
  ASSERT_EQ(base.out, r.out.substr(0, base.out.size()));
  std::istringstream csv(r.out.substr(base.out.size()));
  std::string line;
  ASSERT_TRUE(std::getline(csv, line));
  EXPECT_EQ("frame,deadline_ns,start_ns,end_ns,write_ns", line);
  for (int frame = 0; frame < 3; ++frame) {
    ASSERT_TRUE(std::getline(csv, line));
    EXPECT_EQ(std::to_string(frame) + ",0,", line.substr(0, line.find(',', 2) + 1)) << line;
  }
  EXPECT_FALSE(std::getline(csv, line)) << line;
  ASSERT_EQ(base.err, r.err.substr(0, base.err.size()));
  const std::string json_line = r.err.substr(base.err.size());
  ASSERT_FALSE(json_line.empty());
  EXPECT_EQ('\n', json_line.back());
  EXPECT_EQ(3, json::parse(json_line)["counts"]["engine_calls"]);

  const std::string log = mDir.write("run.log", "earlier\n");
  mExtraEnv.clear();
  mExtraEnv["WARPBENCH_STATS"] = log;
  ProgramRun appending = prepare(args);
  appending.stdout_to = log;
  appending.stdout_appends = true;
  ASSERT_EQ(0, run_program(appending).exit_status);
  const std::string text = mDir.read("run.log");
  ASSERT_EQ("earlier\n" + base.out, text.substr(0, 8 + base.out.size()));
  EXPECT_EQ(3, json::parse(text.substr(8 + base.out.size()))["counts"]["engine_calls"]);
}

// A write that fails is said once per file, also with -s; the status stays the run's.
TEST_F(WarpbenchStats, AFailedWriteIsSaidOnceAndTheStatusStays) {
  write_picture();
  write_mesh();
  const std::vector<std::string> args =
      with(picture_args(), {"-s", "--mesh-from", "mesh.bin", "--stream-count", "2"});
  mExtraEnv.clear();
  const ProgramResult base = run(args);
  mExtraEnv["WARPBENCH_STATS"] = "/dev/full";
  mExtraEnv["WARPBENCH_FRAMES"] = "/dev/full";
  ProgramResult r = run(args);
  EXPECT_EQ(base.exit_status, r.exit_status);
  EXPECT_EQ(base.out, r.out);
  EXPECT_EQ(base.err +
                "warpbench: WARPBENCH_FRAMES: writing /dev/full failed: No space left on device; "
                "the frame records are incomplete\n"
                "warpbench: WARPBENCH_STATS: writing /dev/full failed: No space left on device; "
                "the statistics are incomplete\n",
            r.err);
}

}  // namespace
