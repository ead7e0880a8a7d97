#include "api_console.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "dma_buf_sync_probe.h"
#include "mesh_exercises_fixture.h"
#include "option_values.h"

namespace {

using Console = MeshExercises;

// Each key's line, then its banner and exercise; a failed exercise is named by the key's failure
// line after the exercise's own messages. Without the mesh files keys 3 to 5 fail at once.
TEST_F(Console, KeysRunTheirExercisesUnderTheirBannersAndNameTheirFailures) {
  init(0);
  use_library_mesh_buffers();
  unlink(level000().c_str());
  unlink(level200().c_str());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (int key : {'1', '3', '4', '5', '6', '7', 'q', '\n'}) handle_console_key(key, mCtx);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();

  std::string set_cfg;
  for (int i = 0; i < 10; ++i)
    set_cfg += "set cfg: correct_level = " + std::string(i % 2 ? "0" : "200") + "\n\n";
  EXPECT_EQ("press key=[1]\n==== set_cfg API Test ====\n" + set_cfg +
                "press key=[3]\n==== set_mesh API Test: Mesh from file ====\n"
                "Get mesh path: \nSet mesh config: " +
                level000() +
                "\n"
                "press key=[4]\n==== set_mesh API Test: Mesh from vaddr ====\n"
                "press key=[5]\n==== set_mesh API Test: Mesh from DMA FD ====\n"
                "press key=[6]\n==== get_mesh API Test: Get mesh config ====\n"
                "Get mesh config: mode: 0\n"
                "Get mesh online_config: calib_width: 64, calib_height: 32\n"
                "Get mesh online_config: optic_center: 32.0000 16.0000\n"
                "Get mesh online_config: coeff: -40.0000000000000000 0.0000000000000000 "
                "0.0010000000000000 0.0000000000000000\n"
                "Get mesh online_config: level: 0\n"
                "press key=[7]\npress key=[q]\npress key=[\n]\n",
            out);
  const std::string missing = "failed: No such file or directory\n";
  const std::string refused = refused_sync_reason();
  EXPECT_EQ("Set mesh config " + missing + "File-based config test failed\n" + "open file " +
                level000() + " " + missing + "Load " + level000() + " " + missing +
                "Virtual address config test failed\n" +
                "DMA mesh sync(pre-write) failed: " + refused + "\nopen file " + level000() + " " +
                missing + "DMA mesh sync(post-write) failed: " + refused + "\nLoad " + level000() +
                " " + missing + "DMA FD config test failed\n" +
                "Not support key 55\nNot support key 113\nNot support key 10\n",
            err);
}

// -s silences every line the keys print; the exercises still run.
TEST_F(Console, SilentKeysPrintNothingAndStillRun) {
  init(0);
  run_settings.seen_options[OPT_SILENT] = 1;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (int key : {'1', '6', '7'}) handle_console_key(key, mCtx);
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  FecConfig cfg;
  ASSERT_EQ(0, tq_lenswarp_api_get_cfg(mCtx, &cfg));
  EXPECT_EQ(0, cfg.online.correct_level) << "key 1 toggled it ten times";
  EXPECT_EQ(std::vector<unsigned int>(10, 100000), pauses());
}

}  // namespace
