// The simulated device's own test. CTest starts it under the preload; every case runs in a child
// process, which does one object's life on the device with one step left out or done wrong, and
// the child's report (written at its exit) must count exactly that.
#include <drm.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <soc_drm_ioctl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "scratch_dir.h"

namespace {

using nlohmann::json;
using Counts = std::map<std::string, unsigned>;  // JSON pointer into the report -> value

bool device_preloaded() {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find("libsocdrm-sim.so") != std::string::npos) return true;
  }
  return false;
}

// The report of a process that did `counts` on the device and nothing else.
json report_of(const Counts &counts) {
  json report = json::parse(
      R"({"device_opened":0,"device_closed":0,"objects_created":0,"objects_closed":0,
          "mappings_made":0,"mappings_unmapped":0,"unmap_length_mismatches":0,"mappings_live":0,
          "exported":0,"exported_closed":0,"sync":{"1":0,"2":0,"5":0,"6":0},"sync_refused":0,
          "faults_injected":0,"table_full":{"fds":0,"objects":0,"mappings":0}})");
  for (const auto &c : counts) report[json::json_pointer(c.first)] = c.second;
  return report;
}

Counts with(Counts counts, const Counts &changes) {
  for (const auto &c : changes) counts[c.first] = c.second;
  return counts;
}

struct ChildRun {
  int status = -1;
  json report;
  std::string err;
};

// Runs `body` in a child process that reports to a scratch file; a body fails by exiting with a
// status other than 0.
ChildRun run_child(const std::function<void()> &body) {
  ScratchDir dir;
  const std::string report = dir.file("report.json"), err = dir.file("err");
  ChildRun run;
  fflush(nullptr);  // the child's exit must not write the test's pending output again
  pid_t pid = fork();
  if (pid == 0) {
    setenv("SOCDRM_REPORT", report.c_str(), 1);
    int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || dup2(fd, 2) != 2) _exit(100);
    body();
    exit(0);  // not _exit: the report is written at exit
  }
  EXPECT_EQ(pid, waitpid(pid, &run.status, 0));
  const std::string text = dir.read("report.json");
  if (!text.empty()) run.report = json::parse(text);
  run.err = dir.read("err");
  return run;
}

// Steps of an object's life a case leaves out or does wrong.
enum class Leak { kNone, kObject, kMapping, kShortUnmap, kExport, kDevice };

// Device calls that must succeed; the child ends with `step` when one fails.
void must(bool ok, int step) {
  if (!ok) _exit(step);
}

int open_device() {
  int dev = open(SOC_DRM_DEVICE, O_RDWR | O_CLOEXEC);
  must(dev >= 0, 1);
  return dev;
}

uint32_t create_object(int dev, uint64_t size) {
  GemCreateRequest create = {};
  create.size = size;
  must(ioctl(dev, GEM_CREATE_REQUEST, &create) == 0, 2);
  return create.handle;
}

void *map_object(int dev, uint32_t handle, size_t len) {
  GemMapOffsetRequest where = {};
  where.handle = handle;
  must(ioctl(dev, GEM_MAP_OFFSET_REQUEST, &where) == 0, 3);
  void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_SHARED, dev, (off_t)where.offset);
  must(p != MAP_FAILED, 4);
  return p;
}

void close_object(int dev, uint32_t handle) {
  drm_gem_close gem_close = {};
  gem_close.handle = handle;
  must(ioctl(dev, DRM_IOCTL_GEM_CLOSE, &gem_close) == 0, 5);
}

// One two-page object made, mapped, exported and given back, but for `leak`.
void object_life(Leak leak) {
  const size_t page = (size_t)sysconf(_SC_PAGESIZE), size = 2 * page;
  int dev = open_device();
  uint32_t handle = create_object(dev, size);
  void *p = map_object(dev, handle, size);
  drm_prime_handle prime = {};
  prime.handle = handle;
  prime.flags = DRM_CLOEXEC;
  must(ioctl(dev, DRM_IOCTL_PRIME_HANDLE_TO_FD, &prime) == 0, 6);
  if (leak != Leak::kMapping) munmap(p, leak == Leak::kShortUnmap ? page : size);
  if (leak != Leak::kExport) close(prime.fd);
  if (leak != Leak::kObject) close_object(dev, handle);
  if (leak != Leak::kDevice) close(dev);
}

class SocdrmSim : public testing::Test {
 protected:
  void SetUp() override {
    if (!device_preloaded()) GTEST_SKIP() << "needs libsocdrm-sim.so preloaded, as ctest runs it";
  }
};

TEST_F(SocdrmSim, TheReportCountsWhatWasNotGivenBackAndWhatDidNotFit) {
  const size_t page = (size_t)sysconf(_SC_PAGESIZE);
  const Counts clean = {{"/device_opened", 1},  {"/device_closed", 1},  {"/objects_created", 1},
                        {"/objects_closed", 1}, {"/mappings_made", 1},  {"/mappings_unmapped", 1},
                        {"/exported", 1},       {"/exported_closed", 1}};
  struct Case {
    const char *name;
    std::function<void()> body;
    Counts counts;
    const char *err;
  };
  const Case cases[] = {
      {"clean", [] { object_life(Leak::kNone); }, clean, ""},
      {"object not GEM-closed", [] { object_life(Leak::kObject); },
       with(clean, {{"/objects_closed", 0}}), ""},
      {"mapping not unmapped", [] { object_life(Leak::kMapping); },
       with(clean, {{"/mappings_unmapped", 0}, {"/mappings_live", 1}}), ""},
      {"unmap of one page of two", [] { object_life(Leak::kShortUnmap); },
       with(clean, {{"/mappings_unmapped", 0}, {"/unmap_length_mismatches", 1}}), ""},
      {"export not closed", [] { object_life(Leak::kExport); },
       with(clean, {{"/exported_closed", 0}}), ""},
      {"device not closed", [] { object_life(Leak::kDevice); },
       with(clean, {{"/device_closed", 0}}), ""},
      // A full table is counted, and said once on standard error.
      {"objects table full",
       [] {
         int dev = open_device();
         for (int i = 0; i < 1024; ++i) close_object(dev, create_object(dev, 1));
         GemCreateRequest create = {};
         create.size = 1;
         errno = 0;
         must(ioctl(dev, GEM_CREATE_REQUEST, &create) != 0 && errno == ENOSPC, 7);
         close(dev);
       },
       {{"/device_opened", 1},
        {"/device_closed", 1},
        {"/objects_created", 1024},
        {"/objects_closed", 1024},
        {"/table_full/objects", 1}},
       "socdrm-sim: the objects table (1024 entries) is full: GEM create fails with ENOSPC\n"},
      {"mappings table full",
       [page] {
         int dev = open_device();
         uint32_t handle = create_object(dev, page);
         std::vector<void *> maps;
         for (int i = 0; i < 1026; ++i) maps.push_back(map_object(dev, handle, page));
         for (void *p : maps) munmap(p, page);
         close_object(dev, handle);
         close(dev);
       },
       with(clean, {{"/mappings_made", 1026},
                    {"/mappings_unmapped", 1024},
                    {"/exported", 0},
                    {"/exported_closed", 0},
                    {"/table_full/mappings", 2}}),
       "socdrm-sim: the mappings table (1024 entries) is full: further device mappings are not "
       "followed\n"},
  };
  for (const Case &c : cases) {
    const ChildRun run = run_child(c.body);
    EXPECT_EQ(0, run.status) << c.name;
    EXPECT_EQ(report_of(c.counts), run.report) << c.name;
    EXPECT_EQ(c.err, run.err) << c.name;
  }
}

// drmGetVersion asks for the lengths first and then for the texts in buffers of those lengths.
// As the kernel does, the device copies at most a buffer's length, with no terminator, and always
// returns the whole lengths.
TEST_F(SocdrmSim, TheVersionTextsFillTheirBuffersUpToTheirLengths) {
  const std::string name = "socdrm-sim";
  for (size_t len : {(size_t)0, name.size() - 1, name.size(), name.size() + 1}) {
    const ChildRun run = run_child([len] {
      int dev = open_device();
      std::string buffer(len + 1, '#');
      drm_version version = {};
      version.name_len = len;
      version.name = len > 0 ? &buffer[0] : nullptr;
      must(ioctl(dev, DRM_IOCTL_VERSION, &version) == 0, 8);
      fprintf(stderr, "%d.%d.%d %zu %zu %zu %s", version.version_major, version.version_minor,
              version.version_patchlevel, (size_t)version.name_len, (size_t)version.date_len,
              (size_t)version.desc_len, buffer.c_str());
      close(dev);
    });
    EXPECT_EQ(0, run.status) << len;
    const size_t copied = std::min(len, name.size());
    EXPECT_EQ("1.0.0 10 8 24 " + name.substr(0, copied) + std::string(len + 1 - copied, '#'),
              run.err)
        << len;
  }
}

}  // namespace
