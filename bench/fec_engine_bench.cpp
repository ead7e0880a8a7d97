// The correction engine on a 4K NV12 frame with a full-correction mesh: milliseconds per frame
// of every kernel this build holds and this CPU runs, on one thread and on all cores, each beside
// the time to copy the frame (the floor: from one buffer pair that stays in the cache, as
// warpbench uses its buffers, and from eight pairs in turn, which come from memory), the mesh
// generation time, and (when built with OpenCV) cv::remap with precomputed fixed-point maps on
// the same frame, as a ratio.
#include <benchmark/benchmark.h>
#include <lenswarp_api.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "fisheye_model.h"
#include "fisheye_scene.h"
#include "thread_pool.h"
#include "warp_engine.h"

#ifdef HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;

// The demo's lens: about 1100 pixels per radian on a 4K sensor, fully corrected.
FecOnlineConfig demo_lens() {
  FecOnlineConfig cfg = {};
  cfg.light_center[0] = 1920;
  cfg.light_center[1] = 1080;
  const double coeff[4] = {-1103.7, 3.6843e-4, -1.0378e-7, 6.0608e-11};
  memcpy(cfg.coeff, coeff, sizeof(coeff));
  cfg.correct_level = 200;
  cfg.calib_width = kWidth;
  cfg.calib_height = kHeight;
  cfg.calib_level_maxLimit = 200;
  return cfg;
}

const std::vector<uint8_t> &fisheye_frame() {
  static const std::vector<uint8_t> frame =
      testpic::render_fisheye(demo_lens(), kWidth, kHeight, 1);
  return frame;
}

// The 4K job that the library makes for the demo's lens: packed pictures, a black background.
const lenswarp::WarpJob &engine_job() {
  static const lenswarp::WarpJob job = [] {
    lenswarp::WarpJob j;
    j.settings.in = j.settings.out = {kWidth, kHeight, kWidth, 0};
    if (lenswarp::generate_mesh(demo_lens(), kWidth, kHeight, kWidth, kHeight, &j.mesh) != 0) {
      abort();
    }
    return j;
  }();
  return job;
}

// The engine as the library's process() runs it: the frame shared out over a pool of `threads`.
void engine_frames(benchmark::State &state, int threads, const lenswarp::WarpKernel *kernel) {
  const std::vector<uint8_t> &in = fisheye_frame();
  std::vector<uint8_t> out(in.size());
  lenswarp::ThreadPool pool(threads);
  for (auto _ : state) {
    lenswarp::warp_frame_on(pool, engine_job(), in.data(), out.data(), *kernel);
    benchmark::ClobberMemory();
  }
  state.counters["fps"] =
      benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}

// The floor: a copy of the frame, shared out over the pool in as many pieces as the engine's
// mesh rows, from `pairs` input and output buffers taken in turn.
struct CopyWork {
  const uint8_t *in;
  uint8_t *out;
  size_t piece;
  size_t bytes;
};

void copy_piece(void *arg, int item) {
  const CopyWork *w = static_cast<const CopyWork *>(arg);
  const size_t at = (size_t)item * w->piece;
  memcpy(w->out + at, w->in + at, std::min(w->piece, w->bytes - at));
}

void frame_copies(benchmark::State &state, int threads, int pairs) {
  const size_t bytes = fisheye_frame().size();
  std::vector<std::vector<uint8_t>> ins((size_t)pairs), outs((size_t)pairs);
  for (int p = 0; p < pairs; ++p) {
    ins[(size_t)p] = fisheye_frame();
    outs[(size_t)p].assign(bytes, 0);
  }
  const int pieces = lenswarp::mesh_cell_rows(engine_job());
  lenswarp::ThreadPool pool(threads);
  size_t frame = 0;
  for (auto _ : state) {
    const size_t p = frame++ % (size_t)pairs;
    CopyWork work = {ins[p].data(), outs[p].data(), (bytes + (size_t)pieces - 1) / (size_t)pieces,
                     bytes};
    pool.run(pieces, copy_piece, &work);
    benchmark::ClobberMemory();
  }
}

void mesh_generation(benchmark::State &state) {
  const FecOnlineConfig cfg = demo_lens();
  lenswarp::Mesh mesh;
  for (auto _ : state) {
    if (lenswarp::generate_mesh(cfg, kWidth, kHeight, kWidth, kHeight, &mesh) != 0) abort();
    benchmark::DoNotOptimize(mesh.x.data());
  }
}

#ifdef HAVE_OPENCV
// cv::remap's fixed-point maps (CV_16SC2 + CV_16UC1) for the same mesh, luma and co-sited
// chroma, made once outside the timing as an application would.
struct RemapMaps {
  cv::Mat y1, y2, uv1, uv2;
};

const RemapMaps &remap_maps() {
  static const RemapMaps maps = [] {
    lenswarp::Mesh mesh;
    if (lenswarp::generate_mesh(demo_lens(), kWidth, kHeight, kWidth, kHeight, &mesh) != 0) abort();
    const int cols = mesh.geometry.cols;
    auto position = [&](const std::vector<int32_t> &p, int x, int y) {
      const int c = x / lenswarp::kMeshStepX, r = y / lenswarp::kMeshStepY;
      const double u = (double)(x % lenswarp::kMeshStepX) / lenswarp::kMeshStepX;
      const double v = (double)(y % lenswarp::kMeshStepY) / lenswarp::kMeshStepY;
      const size_t i = (size_t)r * cols + c;
      const double top = p[i] * (1 - u) + p[i + 1] * u;
      const double bottom = p[i + cols] * (1 - u) + p[i + cols + 1] * u;
      return (float)((top * (1 - v) + bottom * v) / 256.0);
    };
    cv::Mat yx(kHeight, kWidth, CV_32FC1), yy(kHeight, kWidth, CV_32FC1);
    cv::Mat cx(kHeight / 2, kWidth / 2, CV_32FC1), cy(kHeight / 2, kWidth / 2, CV_32FC1);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        yx.at<float>(y, x) = position(mesh.x, x, y);
        yy.at<float>(y, x) = position(mesh.y, x, y);
        if (x % 2 == 0 && y % 2 == 0) {
          cx.at<float>(y / 2, x / 2) = yx.at<float>(y, x) / 2;
          cy.at<float>(y / 2, x / 2) = yy.at<float>(y, x) / 2;
        }
      }
    }
    RemapMaps m;
    cv::convertMaps(yx, yy, m.y1, m.y2, CV_16SC2);
    cv::convertMaps(cx, cy, m.uv1, m.uv2, CV_16SC2);
    return m;
  }();
  return maps;
}

void opencv_remap(benchmark::State &state, int threads) {
  const RemapMaps &maps = remap_maps();
  std::vector<uint8_t> in = fisheye_frame(), out(in.size());
  cv::Mat in_y(kHeight, kWidth, CV_8UC1, in.data());
  cv::Mat in_uv(kHeight / 2, kWidth / 2, CV_8UC2, in.data() + kWidth * kHeight);
  cv::Mat out_y(kHeight, kWidth, CV_8UC1, out.data());
  cv::Mat out_uv(kHeight / 2, kWidth / 2, CV_8UC2, out.data() + kWidth * kHeight);
  const int before = cv::getNumThreads();
  cv::setNumThreads(threads);
  for (auto _ : state) {
    cv::remap(in_y, out_y, maps.y1, maps.y2, cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
    cv::remap(in_uv, out_uv, maps.uv1, maps.uv2, cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
    benchmark::ClobberMemory();
  }
  cv::setNumThreads(before);
  state.counters["fps"] =
      benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}
#endif

// Keeps the real time per frame of every benchmark (the median when repeated) for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      const std::string name = run.run_name.function_name;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (median || (run.run_type == Run::RT_Iteration && !mMedian.count(name))) {
        mMs[name] = run.GetAdjustedRealTime();
        if (median) mMedian[name] = true;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double ms(const std::string &name) const {
    auto it = mMs.find(name);
    return it == mMs.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> mMs;
  std::map<std::string, bool> mMedian;
};

std::string engine_name(const lenswarp::WarpKernel *k, int threads) {
  return std::string("engine_4k/") + k->name + "/threads:" + std::to_string(threads);
}

std::string copy_name(int pairs, int threads) {
  return "copy_4k/pairs:" + std::to_string(pairs) + "/threads:" + std::to_string(threads);
}

}  // namespace

int main(int argc, char **argv) {
  const int cores = (int)sysconf(_SC_NPROCESSORS_ONLN);
  benchmark::Initialize(&argc, argv);
  const std::vector<const lenswarp::WarpKernel *> kernels = lenswarp::warp_kernels();
  std::vector<int> thread_counts = {1};
  if (cores > 1) thread_counts.push_back(cores);
  // The floors first, then the kernels, so that the machine's state drifts between them least.
  constexpr int kResident = 1, kRotating = 8;
  for (int threads : thread_counts) {
    for (int pairs : {kResident, kRotating}) {
      benchmark::RegisterBenchmark(copy_name(pairs, threads).c_str(), frame_copies, threads, pairs)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  for (const lenswarp::WarpKernel *k : kernels) {
    for (int threads : thread_counts) {
      // The scalar code, at 20 times the vector code's time, only on one thread.
      if (k == &lenswarp::scalar_kernel() && threads > 1) continue;
      benchmark::RegisterBenchmark(engine_name(k, threads).c_str(), engine_frames, threads, k)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  benchmark::RegisterBenchmark("mesh_generation_4k", mesh_generation)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
#ifdef HAVE_OPENCV
  benchmark::RegisterBenchmark("opencv_remap_4k/threads:1", opencv_remap, 1)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  const std::string cv_all = "opencv_remap_4k/threads:" + std::to_string(cores);
  benchmark::RegisterBenchmark(cv_all.c_str(), opencv_remap, cores)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
#endif
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  printf(
      "\n4K NV12 frame, full-correction mesh, ms per frame (median when repeated); x: the time\n"
      "over the copy of one frame from one resident buffer pair / from %d pairs in turn\n",
      kRotating);
  printf("%-10s", "");
  for (int threads : thread_counts)
    printf("  %2d thread%s                 ", threads, threads > 1 ? "s" : " ");
  printf("\n");
  printf("%-10s", "copy");
  for (int threads : thread_counts) {
    printf("  %7.3f / %7.3f            ", reporter.ms(copy_name(kResident, threads)),
           reporter.ms(copy_name(kRotating, threads)));
  }
  printf("\n");
  for (const lenswarp::WarpKernel *k : kernels) {
    printf("%-10s", k->name);
    for (int threads : thread_counts) {
      const double ms = reporter.ms(engine_name(k, threads));
      const double resident = reporter.ms(copy_name(kResident, threads));
      const double rotating = reporter.ms(copy_name(kRotating, threads));
      if (ms > 0 && resident > 0 && rotating > 0) {
        printf("  %7.3f  x%6.1f / x%5.1f  ", ms, ms / resident, ms / rotating);
      } else {
        printf("  %-27s", "      -");
      }
    }
    printf("%s\n", k == &lenswarp::default_warp_kernel() ? "  (the default)" : "");
  }
  const double gen = reporter.ms("mesh_generation_4k");
  if (gen > 0) printf("4K mesh generation, 1 thread: %.3f ms\n", gen);
#ifdef HAVE_OPENCV
  const double cv_one = reporter.ms("opencv_remap_4k/threads:1");
  const double best_one = reporter.ms(engine_name(&lenswarp::default_warp_kernel(), 1));
  if (cv_one > 0 && best_one > 0) {
    printf("cv::remap, 1 thread: %.2f ms/frame; the default kernel is %.2fx as fast\n", cv_one,
           cv_one / best_one);
  }
#else
  printf("cv::remap: not compared (configure with OpenCV installed and BENCH_WITH_OPENCV=ON)\n");
#endif
  return 0;
}
