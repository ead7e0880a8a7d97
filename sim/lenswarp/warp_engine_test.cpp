#include "warp_engine.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <random>

#include "warp_cells.h"
#include "warp_test_pictures.h"

namespace {

using namespace lenswarp_test;
using lenswarp::WarpKernel;

// Every kernel this build holds and this CPU runs, the scalar code first.
const std::vector<const WarpKernel *> kKernels = lenswarp::warp_kernels();
const char *name_of(const WarpKernel *k) {
  return k->name;
}

std::vector<uint8_t> run(const WarpJob &job, const std::vector<uint8_t> &in,
                         const WarpKernel *kernel, uint8_t fill = 0x5A) {
  std::vector<uint8_t> out(job.settings.out.bytes(), fill);
  lenswarp::warp_frame(job, in.data(), out.data(), *kernel);
  return out;
}

// The largest distance of any sample of `out` from the double-precision reference.
int worst_error(const WarpJob &job, const std::vector<uint8_t> &in,
                const std::vector<uint8_t> &out) {
  const PictureLayout &out_layout = job.settings.out;
  int worst = 0;
  for (int plane = 0; plane < 3; ++plane) {
    const int sub = plane == 0 ? 1 : 2;
    for (int y = 0; y < out_layout.height / sub; ++y) {
      for (int x = 0; x < out_layout.width / sub; ++x) {
        const int d =
            std::abs(sample(out_layout, out, plane, x, y) - reference_sample(job, in, plane, x, y));
        worst = std::max(worst, d);
      }
    }
  }
  return worst;
}

TEST(WarpEngine, IdentityAndIntegerShiftsCopyExactly) {
  // Even shifts keep chroma on whole samples too; the large ones take every tap outside.
  struct Case {
    int dx, dy, border;
  };
  const Case cases[] = {{0, 0, 0},    {4, -2, 0},   {-6, 8, 1}, {2, 10, 0},
                        {-300, 0, 0}, {-300, 0, 1}, {0, 90, 1}, {500, 500, 0}};
  const PictureLayout layout = packed(96, 48);
  const std::vector<uint8_t> in = random_picture(layout, 1);
  for (const Case &c : cases) {
    const WarpJob job =
        make_job(layout, layout, shift_mesh(96, 48, c.dx, c.dy), c.border, 21, 33, 44);
    for (const WarpKernel *kernel : kKernels) {
      const std::vector<uint8_t> out = run(job, in, kernel);
      for (int plane = 0; plane < 3; ++plane) {
        const int sub = plane == 0 ? 1 : 2, w = 96 / sub, h = 48 / sub;
        const int bg = plane == 0 ? 21 : plane == 1 ? 33 : 44;
        for (int y = 0; y < h; ++y) {
          for (int x = 0; x < w; ++x) {
            int sx = x + c.dx / sub, sy = y + c.dy / sub;
            int want;
            if (sx >= 0 && sy >= 0 && sx < w && sy < h) {
              want = sample(layout, in, plane, sx, sy);
            } else if (c.border == 0) {
              want = bg;
            } else {
              want = sample(layout, in, plane, std::min(std::max(sx, 0), w - 1),
                            std::min(std::max(sy, 0), h - 1));
            }
            ASSERT_EQ(want, sample(layout, out, plane, x, y))
                << name_of(kernel) << " shift " << c.dx << "," << c.dy << " border " << c.border
                << " plane " << plane << " at " << x << "," << y;
          }
        }
      }
    }
  }
}

// Meshes that scale, rotate and jitter, partly beyond the input, against the reference.
Mesh random_mesh(int out_w, int out_h, int in_w, int in_h, std::mt19937 &rng) {
  std::uniform_real_distribution<double> unit(-1, 1);
  const double angle = unit(rng) * 0.3, scale = 1 + 0.4 * unit(rng);
  const double cx = in_w / 2.0 + unit(rng) * in_w * 0.3, cy = in_h / 2.0 + unit(rng) * in_h * 0.3;
  return mesh_of(out_w, out_h, [&](double x, double y, double *sx, double *sy) {
    const double u = (x - out_w / 2.0) * scale, v = (y - out_h / 2.0) * scale;
    *sx = cx + u * std::cos(angle) - v * std::sin(angle) + unit(rng) * 3;
    *sy = cy + u * std::sin(angle) + v * std::cos(angle) + unit(rng) * 3;
  });
}

TEST(WarpEngine, RandomMeshesStayWithinOneOfTheExactValue) {
  std::mt19937 rng(7);
  // Sizes off the 32 x 16 grid, output larger and smaller than the input.
  const PictureLayout sizes[][2] = {{packed(128, 64), packed(128, 64)},
                                    {packed(90, 50), packed(132, 70)},
                                    {packed(200, 100), packed(66, 34)}};
  for (const auto &io : sizes) {
    for (int border : {0, 1}) {
      const std::vector<uint8_t> in = random_picture(io[0], rng());
      const WarpJob job = make_job(
          io[0], io[1], random_mesh(io[1].width, io[1].height, io[0].width, io[0].height, rng),
          border, (uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng());
      for (const WarpKernel *kernel : kKernels) {
        EXPECT_LE(worst_error(job, in, run(job, in, kernel)), 1)
            << name_of(kernel) << " " << io[1].width << "x" << io[1].height << " border " << border;
      }
    }
  }
}

TEST(WarpEngine, StridesAndOffsetsMoveThePicturesAndNothingElse) {
  const PictureLayout tight = packed(64, 32);
  const std::vector<uint8_t> tight_in = random_picture(tight, 3);
  std::mt19937 rng(5);
  const Mesh mesh = random_mesh(64, 32, 64, 32, rng);
  const PictureLayout in_layout = {64, 32, 80, 6}, out_layout = {64, 32, 72, 5};
  std::vector<uint8_t> in = random_picture(in_layout, 9);
  for (int plane = 0; plane < 3; ++plane) {
    const int sub = plane == 0 ? 1 : 2;
    for (int y = 0; y < 32 / sub; ++y) {
      for (int x = 0; x < 64 / sub; ++x) {
        const size_t dst =
            plane == 0 ? (size_t)y * 80 + 6 + x : (size_t)(32 + y) * 80 + 6 + 2 * x + (plane - 1);
        in[dst] = (uint8_t)sample(tight, tight_in, plane, x, y);
      }
    }
  }
  for (const WarpKernel *kernel : kKernels) {
    const std::vector<uint8_t> want = run(make_job(tight, tight, mesh, 1), tight_in, kernel);
    const std::vector<uint8_t> got = run(make_job(in_layout, out_layout, mesh, 1), in, kernel);
    ASSERT_EQ(out_layout.bytes(), got.size());
    for (size_t i = 0; i < got.size(); ++i) {
      const int line = (int)(i / 72), col = (int)(i % 72);
      if (col >= 5 && col < 69) {
        const int plane = line < 32 ? 0 : 1 + (col - 5) % 2;
        const int x = plane == 0 ? col - 5 : (col - 5) / 2, y = line < 32 ? line : line - 32;
        ASSERT_EQ(sample(tight, want, plane, x, y), got[i]) << name_of(kernel) << " byte " << i;
      } else {
        ASSERT_EQ(0x5A, got[i]) << name_of(kernel) << " padding byte " << i << " was written";
      }
    }
  }
}

TEST(WarpEngine, ChromaIsCoSitedWithTheEvenLumaSamples) {
  const PictureLayout half = packed(64, 32), full = packed(128, 64);
  const std::vector<uint8_t> in = random_picture(full, 11);
  // Shrinking by 2: chroma sample (i, j) sits on luma (2i, 2j), whose source is luma (4i, 4j),
  // which is chroma sample (2i, 2j) exactly.
  const WarpJob shrink =
      make_job(full, half, mesh_of(64, 32, [](double x, double y, double *sx, double *sy) {
                 *sx = 2 * x;
                 *sy = 2 * y;
               }));
  // A one-pixel shift moves chroma by half a sample: the mean of two neighbours, rounded up.
  const WarpJob odd = make_job(full, full, shift_mesh(128, 64, 1, 0), 1);
  for (const WarpKernel *kernel : kKernels) {
    const std::vector<uint8_t> small = run(shrink, in, kernel);
    const std::vector<uint8_t> shifted = run(odd, in, kernel);
    for (int plane = 1; plane < 3; ++plane) {
      for (int j = 0; j < 16; ++j) {
        for (int i = 0; i < 32; ++i) {
          ASSERT_EQ(sample(full, in, plane, 2 * i, 2 * j), sample(half, small, plane, i, j))
              << name_of(kernel) << " plane " << plane << " at " << i << "," << j;
        }
      }
      for (int j = 0; j < 32; ++j) {
        for (int i = 0; i < 63; ++i) {
          const int a = sample(full, in, plane, i, j), b = sample(full, in, plane, i + 1, j);
          ASSERT_EQ((a + b + 1) / 2, sample(full, shifted, plane, i, j))
              << name_of(kernel) << " plane " << plane << " at " << i << "," << j;
        }
      }
    }
  }
}

TEST(WarpEngine, EveryKernelComputesWhatTheScalarCodeDoes) {
  std::mt19937 rng(13);
  struct Job {
    const char *what;
    WarpJob job;
  };
  const PictureLayout in_layout = {200, 120, 208, 4}, out_layout = packed(232, 104);
  std::vector<Job> jobs;
  for (int border : {0, 1}) {
    jobs.push_back(
        {"random", make_job(in_layout, out_layout, random_mesh(232, 104, 200, 120, rng), border)});
  }
  // A mild warp keeps most cells inside the input, where the vector code runs.
  jobs.push_back(
      {"mild", make_job(in_layout, out_layout,
                        mesh_of(232, 104, [](double x, double y, double *sx, double *sy) {
                          *sx = 8 + x * 0.8 + 0.0007 * (x - 116) * (y - 52);
                          *sy = 6 + y * 1.03 + 0.0011 * (x - 116) * (x - 116);
                        }))});
  // A steep rotation: lane groups whose taps span more source lines than a window holds.
  jobs.push_back(
      {"steep", make_job(in_layout, out_layout,
                         mesh_of(232, 104, [](double x, double y, double *sx, double *sy) {
                           *sx = 100 + 0.75 * (x - 116) - 0.5 * (y - 52);
                           *sy = 60 + 0.5 * (x - 116) + 0.75 * (y - 52);
                         }))});
  // Shrinking about twice: groups as wide as the widest windows, and wider than the narrow ones.
  const PictureLayout large = packed(480, 240);
  jobs.push_back(
      {"shrink", make_job(large, out_layout,
                          mesh_of(232, 104, [](double x, double y, double *sx, double *sy) {
                            *sx = 5 + 1.93 * x + 0.1 * y;
                            *sy = 20 + 1.9 * y - 0.06 * x;
                          }))});
  // Taps up to the last line and column, where a window would read past the picture's end.
  const PictureLayout small = packed(96, 48);
  jobs.push_back(
      {"to the edge",
       make_job(small, small, mesh_of(96, 48, [](double x, double y, double *sx, double *sy) {
                  *sx = 0.3 + 0.98 * x;
                  *sy = 0.2 + 0.97 * y + 0.002 * x;
                }))});
  // More cells in a row than the vector code classifies at once.
  const PictureLayout wide_in = packed(4200, 64), wide_out = packed(4160, 48);
  jobs.push_back(
      {"wide", make_job(wide_in, wide_out,
                        mesh_of(4160, 48, [](double x, double y, double *sx, double *sy) {
                          *sx = 10 + 0.99 * x + 2 * std::sin(y / 9);
                          *sy = 4 + 1.05 * y + 3 * std::sin(x / 300);
                        }))});
  ASSERT_GT(kKernels.size(), 1u) << "no vector kernel";
  for (const Job &j : jobs) {
    const std::vector<uint8_t> in = random_picture(j.job.settings.in, 17);
    const std::vector<uint8_t> want = run(j.job, in, &lenswarp::scalar_kernel());
    for (const WarpKernel *kernel : kKernels) {
      EXPECT_EQ(want, run(j.job, in, kernel)) << kernel->name << ", " << j.what;
    }
  }
}

TEST(WarpEngine, KernelsAreNamedAsHighwayNamesTheirInstructionSets) {
  const std::string names = [] {
    std::string all;
    for (const WarpKernel *k : kKernels) all += std::string(" ") + k->name;
    return all;
  }();
  printf("kernels:%s; the default: %s\n", names.c_str(), lenswarp::default_warp_kernel().name);
  EXPECT_EQ(&lenswarp::scalar_kernel(), kKernels[0]);
  EXPECT_STREQ("scalar", kKernels[0]->name);
  for (size_t i = 1; i < kKernels.size(); ++i) {
    EXPECT_STREQ(hwy::TargetName(kKernels[i]->target), kKernels[i]->name);
  }
  EXPECT_EQ(kKernels.size() > 1 ? kKernels[1] : kKernels[0], &lenswarp::default_warp_kernel());
  for (const WarpKernel *k : kKernels) EXPECT_EQ(k, lenswarp::find_warp_kernel(k->name));
  // Not a kernel, another spelling, or an instruction set of another architecture.
  for (const char *name :
       {"", "simd", "Scalar", "scalar ", "avx2", "AVX9", HWY_ARCH_X86 ? "NEON" : "AVX2"}) {
    EXPECT_EQ(nullptr, lenswarp::find_warp_kernel(name)) << name;
  }
}

}  // namespace
