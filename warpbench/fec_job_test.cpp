#include "fec_job.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "run_state.h"
#include "scratch_dir.h"

namespace {

TEST(SplitMeshPath, SplitsAtTheLastSlashWithinFieldLimits) {
  const std::string dir127 = "/" + std::string(125, 'd') + "/";
  const std::string name63(63, 'n');
  struct {
    std::string path;
    int result;
    std::string dir;
    std::string name;
  } cases[] = {
      {"mesh.bin", 0, "", "mesh.bin"},
      {"/data/m/x.bin", 0, "/data/m/", "x.bin"},
      {"/data/m/", 0, "/data/m/", ""},
      {"/", 0, "/", ""},
      {dir127 + name63, 0, dir127, name63},
      {"d" + dir127 + "x", -1, "", ""},     // directory part of 128
      {dir127 + name63 + "n", -2, "", ""},  // file name of 64
      {std::string(64, 'n'), -2, "", ""},
  };
  for (const auto &c : cases) {
    char dir[MESH_DIR_MAX + 1] = "untouched";
    char name[MESH_NAME_MAX + 1] = "untouched";
    EXPECT_EQ(c.result, split_mesh_path(c.path.c_str(), dir, name)) << c.path;
    if (c.result == 0) {
      EXPECT_EQ(c.dir, dir);
      EXPECT_EQ(c.name, name);
    } else {
      EXPECT_STREQ("untouched", dir);
      EXPECT_STREQ("untouched", name);
    }
  }
}

class FecJobTest : public testing::Test {
 protected:
  void SetUp() override { run_settings = default_run_settings(); }
  void TearDown() override { run_settings = default_run_settings(); }
  ScratchDir mDir;
};

TEST_F(FecJobTest, FillCopiesSettingsIntoAZeroedRecord) {
  RunSettings s = default_run_settings();
  s.width = 3840;
  s.height = 2160;
  s.out_width = 1920;
  s.out_height = 1080;
  s.pixelformat = 0x3231564E;
  s.out_pixelformat = 0x30434246;
  s.border_mode = 1;
  s.cross_buf_mode = -2;
  s.bg_y = 16;
  s.bg_u = 128;
  s.bg_v = 129;
  s.offset_x = 3;
  s.out_offset_x = 4;
  s.stride = 4096;
  s.out_stride = 2048;
  FecConfig cfg;
  memset(&cfg, 0xA5, sizeof(cfg));
  fill_fec_config(&cfg, &s);
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&cfg);
  auto u32_at = [&](size_t off) {
    uint32_t v;
    memcpy(&v, bytes + off, 4);
    return v;
  };
  EXPECT_EQ(0x00040004u, u32_at(0));
  EXPECT_EQ(sizeof(FecConfig), u32_at(4));
  EXPECT_EQ(3840u, cfg.width);
  EXPECT_EQ(1080u, cfg.out_height);
  EXPECT_EQ(0x30434246u, cfg.out_pixelformat);
  EXPECT_EQ(-2, cfg.cross_buf_mode);
  EXPECT_EQ(129u, cfg.bg_v);
  EXPECT_EQ(4, cfg.out_offset_x);
  EXPECT_EQ(2048, cfg.out_stride);
  for (size_t off = offsetof(FecConfig, mesh_fd); off < offsetof(FecConfig, offset_x); ++off) {
    EXPECT_EQ(0, bytes[off]) << "byte " << off;
  }
  for (size_t off = offsetof(FecConfig, ini_path); off < sizeof(FecConfig); ++off) {
    EXPECT_EQ(0, bytes[off]) << "byte " << off;
  }
#if UINTPTR_MAX == 0xFFFFFFFFu
  EXPECT_EQ(4096u, u32_at(272));  // the target's own layout
  EXPECT_EQ(0x3231564Eu, u32_at(24));
#endif
}

TEST_F(FecJobTest, OverlongPathsAreRefusedWithStatusOneReasons) {
  const std::string long_dir = "/" + std::string(127, 'd') + "/m.bin";
  run_settings.mesh_from = long_dir.c_str();
  FecConfig cfg;
  fill_fec_config(&cfg, &run_settings);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MESH_SOURCE_BAD_PATH, choose_mesh_source(&cfg, &run_settings));
  EXPECT_EQ(
      "Mesh path " + long_dir + " refused: its directory part is longer than 127 characters\n",
      testing::internal::GetCapturedStderr());

  const std::string ini127 = "/" + std::string(126, 'i');
  const std::string ini128 = ini127 + "i";
  run_settings.mesh_from = nullptr;
  run_settings.auto_parse_ini = true;
  run_settings.calib_ini_from = ini127.c_str();
  fill_fec_config(&cfg, &run_settings);
  EXPECT_EQ(MESH_SOURCE_OK, choose_mesh_source(&cfg, &run_settings));
  EXPECT_EQ(FEC_MESH_MODE_INI, cfg.mesh_mode);
  EXPECT_EQ(ini127, cfg.ini_path);

  run_settings.calib_ini_from = ini128.c_str();
  testing::internal::CaptureStderr();
  EXPECT_EQ(MESH_SOURCE_BAD_PATH, choose_mesh_source(&cfg, &run_settings));
  EXPECT_EQ(
      "Calibration INI path " + ini128 + " refused: the library takes at most 127 characters\n",
      testing::internal::GetCapturedStderr());
}

TEST_F(FecJobTest, OnlineParametersAreCopiedWholeAndEchoed) {
  std::string ini = mDir.write("calib.ini",
                               "[fec_online]\n"
                               "light_center = 1919.5 1080.25\n"
                               "coeff = -1500.5 0 0.000125 -1e-9\n"
                               "direction = 1\nstyle = 2\ncorrect_level = 150\n"
                               "calib_width = 3840\ncalib_height = 2160\n"
                               "calib_level_maxLimit = 200\n");
  run_settings.calib_ini_from = ini.c_str();
  FecConfig cfg;
  fill_fec_config(&cfg, &run_settings);
  testing::internal::CaptureStdout();
  EXPECT_EQ(MESH_SOURCE_OK, choose_mesh_source(&cfg, &run_settings));
  EXPECT_EQ(FEC_MESH_MODE_ONLINE, cfg.mesh_mode);
  EXPECT_EQ(0, cfg.online.calib_height) << "not loaded yet";
  EXPECT_EQ(MESH_SOURCE_OK, load_online_parameters(&cfg, &run_settings));
  EXPECT_EQ("calib_ini_from: " + ini +
                "\n"
                "calib_width: 3840\n"
                "light_center: 1919.5000 1080.2500\n"
                "coeff: -1500.5000000000000000 0.0000000000000000 0.0001250000000000 "
                "-0.0000000010000000\n"
                "calib_level_maxLimit: 200\n"
                "correct_level: 150\n"
                "direction: 1\n"
                "style: 2\n",
            testing::internal::GetCapturedStdout());
  EXPECT_EQ(FEC_MESH_MODE_ONLINE, cfg.mesh_mode);
  EXPECT_EQ(2160, cfg.online.calib_height);
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&cfg);
  for (size_t off = offsetof(FecConfig, online) + sizeof(FecOnlineConfig);
       off < offsetof(FecConfig, offset_x); ++off) {
    EXPECT_EQ(0, bytes[off]) << "byte " << off;
  }
}

}  // namespace
