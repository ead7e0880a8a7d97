// Shared set-up for the black-box runs of warpbench: a small NV12 picture, mesh and INI files in
// a scratch directory, and the stand-in library's call trace.
#ifndef TESTS_WARPBENCH_FIXTURE_H
#define TESTS_WARPBENCH_FIXTURE_H

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "program_runner.h"

// The usage text, byte for byte, as `puts` prints it.
extern const char kUsageText[];

class WarpbenchTest : public testing::Test {
 protected:
  static constexpr int kWidth = 64;
  static constexpr int kHeight = 32;
  static constexpr size_t kFrameBytes = kWidth * kHeight * 3 / 2;

  // Runs the staged warpbench with the trace switched on.
  ProgramResult run(const std::vector<std::string> &args, double timeout_s = 60);
  ProgramRun prepare(const std::vector<std::string> &args, double timeout_s = 60);

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

  std::string program() const { return staged_program("warpbench"); }
  ScratchDir mDir;
};

// Lines of `text` that start with `prefix`.
std::vector<std::string> lines_starting(const std::string &text, const std::string &prefix);

#endif  // TESTS_WARPBENCH_FIXTURE_H
