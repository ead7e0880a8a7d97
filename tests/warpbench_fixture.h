// Shared set-up for the black-box runs of warpbench: a small NV12 picture, mesh and INI files in
// a scratch directory, the stand-in library's call trace, and the simulated SoC DRM device with
// its report (or, on request, no device, so the library's allocator is used).
#ifndef TESTS_WARPBENCH_FIXTURE_H
#define TESTS_WARPBENCH_FIXTURE_H

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "golden_text.h"
#include "monotonic_clock.h"
#include "pixel_formats.h"
#include "program_runner.h"
#include "scratch_dir.h"
#include "staged_install.h"

// The usage text, byte for byte, as `puts` prints it.
const std::string &usage_text();

enum class Backend { Drm, Library };

class WarpbenchTest : public testing::Test {
 protected:
  static constexpr int kWidth = 64;
  static constexpr int kHeight = 32;
  static inline const size_t kFrameBytes = nv12_frame_bytes(kWidth, kHeight);

  // Runs the staged warpbench with a fresh trace, on mBackend. After a run on the DRM
  // back end that opened the device, checks that the device got everything back.
  ProgramResult run(const std::vector<std::string> &args, double timeout_s = 60);
  ProgramRun prepare(const std::vector<std::string> &args, double timeout_s = 60);

  // The simulated device's report of the last run (null when none was written).
  nlohmann::json device_report() const;
  std::string report_path() const { return mDir.file("device.json"); }
  void expect_device_clean() const;

  // "-v"/"-x" for the small NV12 picture, the input file and a valid (identity) mesh file.
  std::vector<std::string> picture_args() const;
  std::string write_picture();
  std::string write_mesh(const std::string &name = "mesh.bin");
  std::string write_ini(const std::string &name = "calib.ini");

  // The trace's lines, and the operations in order.
  std::vector<nlohmann::json> trace() const;
  std::vector<std::string> trace_ops() const;
  std::vector<nlohmann::json> trace_of(const std::string &op) const;
  std::string trace_path() const { return mDir.file("trace.jsonl"); }

  // The staged program the runs start; a suite of another program on the same platform names
  // its own.
  virtual std::string program() const { return staged_program("warpbench"); }
  ScratchDir mDir;
  Backend mBackend = Backend::Drm;
  std::map<std::string, std::string> mExtraEnv;  // e.g. fault injection
};

// `base` followed by `more`: a command line built from shared pieces.
std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string> &more);

// Lines of `text` that start with `prefix`.
std::vector<std::string> lines_starting(const std::string &text, const std::string &prefix);

#endif  // TESTS_WARPBENCH_FIXTURE_H
