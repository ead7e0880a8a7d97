#include "run_statistics.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <nlohmann/json.hpp>

#include "run_state.h"
#include "scratch_dir.h"

namespace {

// A library may accept any pixel format code; the summary stays valid JSON with the code's
// characters as they are.
TEST(RunStatistics, PixelFormatsWithQuotesAndBackslashesAreEscaped) {
  ScratchDir dir;
  const std::string path = dir.file("stats.json");
  setenv("WARPBENCH_STATS", path.c_str(), 1);
  const RunSettings saved = run_settings;
  run_settings.pixelformat = 'A' | '"' << 8 | '\\' << 16 | 'B' << 24;
  run_settings.out_pixelformat = 'N' | 'V' << 8 | '1' << 16 | '2' << 24 | 0x80000000u;
  open_run_statistics();
  begin_frame_loop(monotonic_ns());
  end_frame_loop();
  close_run_statistics();
  unsetenv("WARPBENCH_STATS");
  run_settings = saved;
  run_stats = RunStatistics();

  const nlohmann::json summary = nlohmann::json::parse(dir.read("stats.json"));
  EXPECT_EQ("A\"\\B", summary["run"]["input"]["format"]);
  EXPECT_EQ("NV12-BE", summary["run"]["output"]["format"]);
}

}  // namespace
