// What warpbench's run statistics add to a frame: the three clock reads of the frame loop and
// the recording into the histograms and the frame log, with both files open on /dev/null (so the
// frame log is written out once every FRAME_LOG_RECORDS frames, as in a long run). Compare the
// time per iteration with a frame at 1000 fps (1 ms) or with the engine's own time per frame.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include "run_statistics.h"

static void BM_StatisticsPerFrame(benchmark::State &state) {
  setenv("WARPBENCH_STATS", "/dev/null", 1);
  setenv("WARPBENCH_FRAMES", "/dev/null", 1);
  open_run_statistics();
  const int32_t period_ns = 1000000;
  int64_t deadline = monotonic_ns();
  begin_frame_loop(deadline);
  for (auto _ : state) {
    FrameTimes frame = {};
    frame.deadline_ns = deadline;
    frame.start_ns = monotonic_ns();
    frame.end_ns = monotonic_ns();
    frame.write_ns = monotonic_ns() - frame.end_ns;
    record_frame(&frame, 1000, period_ns);
    deadline += period_ns;
  }
  end_frame_loop();
  close_run_statistics();
  run_stats = RunStatistics();
}
BENCHMARK(BM_StatisticsPerFrame)->MinTime(2.0);

BENCHMARK_MAIN();
