// The mesh exercises against the stand-in library in the test's own process, shared by the
// exercises' and the console's tests.
#ifndef WARPBENCH_MESH_EXERCISES_FIXTURE_H
#define WARPBENCH_MESH_EXERCISES_FIXTURE_H

#include <errno.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "dma_alloc.h"
#include "mesh_exercises.h"
#include "run_state.h"
#include "scratch_dir.h"

// The exercises against the stand-in library in this process, on a 64x32 job. Their pauses are
// recorded rather than slept.
class MeshExercises : public testing::Test {
 protected:
  static constexpr int kWidth = 64, kHeight = 32;
  static constexpr size_t kMeshBytes = 6 * 3 * 3;

  void SetUp() override {
    pauses().clear();
    set_exercise_pause([](unsigned int us) { pauses().push_back(us); });
    run_settings = default_run_settings();
    run_settings.out_width = kWidth;
    run_settings.out_height = kHeight;
    data().write(kLevel000, std::string(kMeshBytes, '\0'));
    data().write(kLevel200, std::string(kMeshBytes, '\x01'));
  }
  void TearDown() override {
    if (mCtx != nullptr) tq_lenswarp_api_deinit(mCtx);
    if (mem_ops != nullptr) {
      for (DmaBuffer &buf : run_bufs.mesh) {
        if (buf.size != 0) mem_ops->free(mem_fd, &buf);
        memset(&buf, 0, sizeof(buf));
      }
      mem_deinit();
    }
    run_settings = default_run_settings();
    set_exercise_pause(nullptr);
  }

  // The pauses the exercises asked for, in microseconds, since the test began.
  static std::vector<unsigned int> &pauses() {
    static std::vector<unsigned int> recorded;
    return recorded;
  }

  // The fixed mesh files' directory. warpbench reads WARPBENCH_DATA_DIR once per file name and
  // keeps the path for the process, so the directory is made once and lives as long.
  static const ScratchDir &data() {
    static const ScratchDir dir;
    static const bool named = setenv("WARPBENCH_DATA_DIR", dir.path().c_str(), 1) == 0;
    EXPECT_TRUE(named);
    return dir;
  }
  static std::string level000() { return data().file(kLevel000); }
  static std::string level200() { return data().file(kLevel200); }

  // A job of the library, online at `level` or from the mesh file `mesh_dir`/mesh.bin; the test
  // fails without one.
  void init(int level, const std::string &mesh_dir = "") {
    FecConfig cfg = {};
    cfg.header = FEC_CONFIG_HEADER;
    cfg.size = sizeof(cfg);
    cfg.width = cfg.out_width = kWidth;
    cfg.height = cfg.out_height = kHeight;
    cfg.pixelformat = cfg.out_pixelformat = 0x3231564E;  // NV12
    cfg.mesh_mode = mesh_dir.empty() ? FEC_MESH_MODE_ONLINE : FEC_MESH_MODE_FILE;
    if (mesh_dir.empty()) {
      cfg.online = lens(level);
    } else {
      snprintf(cfg.mesh_dir, sizeof(cfg.mesh_dir), "%s", mesh_dir.c_str());
      snprintf(cfg.mesh_name, sizeof(cfg.mesh_name), "mesh.bin");
    }
    mCtx = tq_lenswarp_api_init(&cfg);
    ASSERT_NE(nullptr, mCtx) << strerror(errno);
  }
  static FecOnlineConfig lens(int level) {
    return {{32, 16}, {-40, 0, 0.001, 0}, 0, 0, level, kWidth, kHeight, 200};
  }
  // The run's mesh buffers, from the library's own allocator as on a host without the device.
  void use_library_mesh_buffers() {
    mem_ops = &mem_ops_table[1];
    mem_fd = mem_ops->init();
    for (DmaBuffer &buf : run_bufs.mesh) ASSERT_EQ(0, mem_ops->alloc(mem_fd, kMeshBytes, &buf));
  }
  FecMeshConfig mesh_config() const {
    FecMeshConfig m = {};
    EXPECT_EQ(0, tq_lenswarp_api_get_mesh_config(mCtx, &m));
    return m;
  }

  // Runs `exercise` on the job with both streams captured.
  struct Outcome {
    int ret;
    std::string out, err;
  };
  Outcome exercise(int (*run)(FecContext)) {
    pauses().clear();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int ret = run(mCtx);
    std::string out = testing::internal::GetCapturedStdout();
    return {ret, out, testing::internal::GetCapturedStderr()};
  }

  static constexpr const char *kLevel000 =
      "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level000.bin";
  static constexpr const char *kLevel200 =
      "zm3318c_fecMesh_src3840x2160_dst3840x2160_step32x16_level200.bin";
  FecContext mCtx = nullptr;
};

#endif  // WARPBENCH_MESH_EXERCISES_FIXTURE_H
