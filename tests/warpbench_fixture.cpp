#include "warpbench_fixture.h"

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

const std::string &usage_text() {
  return golden_text("warpbench.usage");
}

ProgramRun WarpbenchTest::prepare(const std::vector<std::string> &args, double timeout_s) {
  std::remove(report_path().c_str());
  std::remove(trace_path().c_str());
  ProgramRun r;
  r.program = program();
  r.args = args;
  r.env = mExtraEnv;
  r.env["LENSWARP_TRACE"] = trace_path();
  r.env["LD_PRELOAD"] = stage_dir() + "/lib/camtools/libsocdrm-sim.so";
  r.env["SOCDRM_REPORT"] = report_path();
  if (mBackend == Backend::Library) r.env["SOCDRM_NO_DEVICE"] = "1";
  const char *asan = getenv("ASAN_OPTIONS");
  r.env["ASAN_OPTIONS"] = std::string(asan != nullptr && *asan ? std::string(asan) + ":" : "") +
                          "verify_asan_link_order=0";
  r.cwd = mDir.path();
  r.timeout_s = timeout_s;
  return r;
}

ProgramResult WarpbenchTest::run(const std::vector<std::string> &args, double timeout_s) {
  ProgramResult r = run_program(prepare(args, timeout_s));
  EXPECT_FALSE(r.timed_out);
  nlohmann::json report = device_report();
  if (!report.is_null() && report["device_opened"] != 0) expect_device_clean();
  return r;
}

nlohmann::json WarpbenchTest::device_report() const {
  std::string text = mDir.read("device.json");
  return text.empty() ? nlohmann::json(nullptr) : nlohmann::json::parse(text);
}

void WarpbenchTest::expect_device_clean() const {
  nlohmann::json r = device_report();
  EXPECT_EQ(r["device_opened"], r["device_closed"]) << r;
  EXPECT_EQ(r["objects_created"], r["objects_closed"]) << r;
  EXPECT_EQ(r["mappings_made"], r["mappings_unmapped"]) << r;
  EXPECT_EQ(0, r["unmap_length_mismatches"]) << r;
  EXPECT_EQ(0, r["mappings_live"]) << r;
  EXPECT_EQ(r["exported"], r["exported_closed"]) << r;
}

std::vector<std::string> WarpbenchTest::picture_args() const {
  const std::string fmt = "width=" + std::to_string(kWidth) + ",height=" + std::to_string(kHeight) +
                          ",pixelformat=NV12";
  return {"-v", fmt, "-x", fmt, "--stream-from", mDir.file("in.yuv")};
}

std::string WarpbenchTest::write_picture() {
  std::string bytes(kFrameBytes, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (char)(i * 7 + 3);
  mDir.write("in.yuv", bytes);
  return bytes;
}

std::string WarpbenchTest::write_mesh(const std::string &name) {
  // The identity mesh: every frame is the input picture unchanged.
  const int cols = kWidth / 32 + 1, rows = kHeight / 16 + 1, n = cols * rows;
  std::string bytes((size_t)n * 6, '\0');
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const int i = r * cols + c;
      bytes[2 * i] = (char)((c * 32) & 0xFF);  // x integer part, little-endian
      bytes[2 * i + 1] = (char)((c * 32) >> 8);
      bytes[3 * n + 2 * i] = (char)((r * 16) & 0xFF);  // y integer part
      bytes[3 * n + 2 * i + 1] = (char)((r * 16) >> 8);
    }
  }
  mDir.write(name, bytes);
  return mDir.file(name);
}

std::string WarpbenchTest::write_ini(const std::string &name) {
  mDir.write(name,
             "[fec_online]\n"
             "light_center = 32.5 16.25\n"
             "coeff = -40.125 0 0.001 -0.0000001\n"
             "direction = 0\nstyle = 0\ncorrect_level = 100\n"
             "calib_width = 64\ncalib_height = 32\ncalib_level_maxLimit = 200\n");
  return mDir.file(name);
}

std::vector<nlohmann::json> WarpbenchTest::trace() const {
  std::vector<nlohmann::json> lines;
  std::ifstream f(trace_path());
  for (std::string line; std::getline(f, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

std::vector<std::string> WarpbenchTest::trace_ops() const {
  std::vector<std::string> ops;
  for (const auto &j : trace()) ops.push_back(j["op"].get<std::string>());
  return ops;
}

std::vector<nlohmann::json> WarpbenchTest::trace_of(const std::string &op) const {
  // Tests poll this while a run grows the trace, so only the lines of `op` are parsed (slow
  // under the emulator otherwise).
  const std::string tag = "{\"op\":\"" + op + "\",";
  std::vector<nlohmann::json> found;
  std::ifstream f(trace_path());
  for (std::string line; std::getline(f, line);) {
    if (line.compare(0, tag.size(), tag) == 0) found.push_back(nlohmann::json::parse(line));
  }
  return found;
}

std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string> &more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

std::vector<std::string> lines_starting(const std::string &text, const std::string &prefix) {
  std::vector<std::string> found;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
  }
  return found;
}
