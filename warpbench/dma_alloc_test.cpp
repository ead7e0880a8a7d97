#include "dma_alloc.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "scratch_dir.h"

namespace {

// On the simulated DRM device, which ctest preloads: every object goes back whole, also the two
// pages a zero-byte request gets. The device's report, written when it is closed, counts what was
// made and given back.
TEST(DrmFree, ReleasesEveryObjectWhateverSizeWasAsked) {
  ScratchDir dir;
  ASSERT_EQ(0, setenv("SOCDRM_REPORT", dir.file("report.json").c_str(), 1));
  const int drm = drm_open();
  if (drm < 0) GTEST_SKIP() << "needs libsocdrm-sim.so preloaded, as ctest runs it";
  for (uint32_t size : {0u, 54u, 3u * (uint32_t)getpagesize()}) {
    DmaBuffer buf = {};
    testing::internal::CaptureStdout();  // the back end's own line
    ASSERT_EQ(0, drm_alloc(drm, size, &buf)) << size;
    testing::internal::GetCapturedStdout();
    const int exported = buf.fd;
    EXPECT_EQ(0, drm_free(drm, &buf)) << size;
    EXPECT_EQ(-1, fcntl(exported, F_GETFD)) << "the exported descriptor is closed: " << size;
  }
  drm_close(drm);
  unsetenv("SOCDRM_REPORT");
  const std::string report = dir.read("report.json");
  for (const char *counts :
       {"\"objects_created\":3,\"objects_closed\":3", "\"mappings_made\":3,\"mappings_unmapped\":3",
        "\"unmap_length_mismatches\":0,\"mappings_live\":0"}) {
    EXPECT_NE(std::string::npos, report.find(counts)) << report;
  }
}

}  // namespace
