// The simulated device's own test. CTest starts it under the preload; every case runs in a child
// process, which does one object's life on the device with one step left out or done wrong, and
// the child's report (written at its exit) must count exactly that.
#include <dlfcn.h>
#include <drm.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <soc_drm_ioctl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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

// Callers built with and without 64-bit offsets and time call different names for the same
// calls (libdrm for armhf calls the plain ioctl, our code __ioctl_time64 there): each name must be
// the preload's and reach the device.
TEST_F(SocdrmSim, EveryNameOfOpenIoctlAndMmapReachesTheDevice) {
  using OpenFn = int (*)(const char *, int, ...);
  using OpenatFn = int (*)(int, const char *, int, ...);
  using IoctlFn = int (*)(int, unsigned long, ...);
  using MmapFn = void *(*)(void *, size_t, int, int, int, __off_t);
  using Mmap64Fn = void *(*)(void *, size_t, int, int, int, __off64_t);
  for (const char *name :
       {"open", "open64", "openat", "openat64", "ioctl", "__ioctl_time64", "mmap", "mmap64"}) {
    void *fn = dlsym(RTLD_DEFAULT, name);
    Dl_info where = {};
    ASSERT_NE(nullptr, fn) << name;
    ASSERT_NE(0, dladdr(fn, &where)) << name;
    EXPECT_NE(nullptr, strstr(where.dli_fname, "libsocdrm-sim.so"))
        << name << ": " << where.dli_fname;
  }
  const ChildRun run = run_child([] {
    const size_t size = 2 * (size_t)sysconf(_SC_PAGESIZE);
    int devs[4];
    devs[0] = reinterpret_cast<OpenFn>(dlsym(RTLD_DEFAULT, "open"))(SOC_DRM_DEVICE, O_RDWR);
    devs[1] = reinterpret_cast<OpenFn>(dlsym(RTLD_DEFAULT, "open64"))(SOC_DRM_DEVICE, O_RDWR);
    devs[2] =
        reinterpret_cast<OpenatFn>(dlsym(RTLD_DEFAULT, "openat"))(AT_FDCWD, SOC_DRM_DEVICE, O_RDWR);
    devs[3] = reinterpret_cast<OpenatFn>(dlsym(RTLD_DEFAULT, "openat64"))(AT_FDCWD, SOC_DRM_DEVICE,
                                                                          O_RDWR);
    for (int dev : devs) must(dev >= 0, 10);
    // One object through each name of ioctl, mapped through one name of mmap each.
    uint64_t offsets[2];
    const char *ioctls[2] = {"ioctl", "__ioctl_time64"};
    for (int i = 0; i < 2; ++i) {
      IoctlFn call = reinterpret_cast<IoctlFn>(dlsym(RTLD_DEFAULT, ioctls[i]));
      GemCreateRequest create = {};
      create.size = size;
      must(call(devs[i], GEM_CREATE_REQUEST, &create) == 0, 11);
      GemMapOffsetRequest where = {};
      where.handle = create.handle;
      must(call(devs[i], GEM_MAP_OFFSET_REQUEST, &where) == 0, 12);
      offsets[i] = where.offset;
    }
    void *maps[2];
    maps[0] = reinterpret_cast<MmapFn>(dlsym(RTLD_DEFAULT, "mmap"))(
        nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, devs[0], (__off_t)offsets[0]);
    maps[1] = reinterpret_cast<Mmap64Fn>(dlsym(RTLD_DEFAULT, "mmap64"))(
        nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, devs[1], (__off64_t)offsets[1]);
    for (void *p : maps) {
      must(p != MAP_FAILED, 13);
      munmap(p, size);
    }
    for (uint32_t handle = 1; handle <= 2; ++handle) close_object(devs[0], handle);
    for (int dev : devs) close(dev);
  });
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(report_of({{"/device_opened", 4},
                       {"/device_closed", 4},
                       {"/objects_created", 2},
                       {"/objects_closed", 2},
                       {"/mappings_made", 2},
                       {"/mappings_unmapped", 2}}),
            run.report);
  EXPECT_EQ("", run.err);
}

// A 64-bit kernel's DRM core hands out map offsets from 4 GiB on, to 32-bit processes too.
TEST_F(SocdrmSim, HighMapOffsetsLieAtOrAbove4GiBAndMapTheObject) {
  const ChildRun high = run_child([] {
    setenv("SOCDRM_MAP_OFFSETS", "high", 1);
    const size_t page = (size_t)sysconf(_SC_PAGESIZE);
    int dev = open_device();
    uint32_t first = create_object(dev, page), second = create_object(dev, page);
    GemMapOffsetRequest where = {};
    where.handle = second;
    must(ioctl(dev, GEM_MAP_OFFSET_REQUEST, &where) == 0, 20);
    must(where.offset >= (uint64_t{1} << 32), 21);
    // The offset cut to 32 bits names no object.
    must(mmap(nullptr, page, PROT_READ, MAP_SHARED, dev, (off_t)(uint32_t)where.offset) ==
             MAP_FAILED,
         22);
    char *p = static_cast<char *>(
        mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_SHARED, dev, (off_t)where.offset));
    must(p != MAP_FAILED, 23);
    p[0] = 'S';
    drm_prime_handle prime = {};
    prime.handle = second;
    must(ioctl(dev, DRM_IOCTL_PRIME_HANDLE_TO_FD, &prime) == 0, 24);
    char seen = 0;
    must(pread(prime.fd, &seen, 1, 0) == 1 && seen == 'S', 25);  // the second object's memory
    munmap(p, page);
    close(prime.fd);
    close_object(dev, first);
    close_object(dev, second);
    close(dev);
  });
  EXPECT_EQ(0, high.status);
  EXPECT_EQ(report_of({{"/device_opened", 1},
                       {"/device_closed", 1},
                       {"/objects_created", 2},
                       {"/objects_closed", 2},
                       {"/mappings_made", 1},
                       {"/mappings_unmapped", 1},
                       {"/exported", 1},
                       {"/exported_closed", 1}}),
            high.report);
  EXPECT_EQ("", high.err);

  const ChildRun unknown = run_child([] {
    setenv("SOCDRM_MAP_OFFSETS", "huge", 1);
    int dev = open_device();
    GemMapOffsetRequest where = {};
    where.handle = create_object(dev, 1);
    must(ioctl(dev, GEM_MAP_OFFSET_REQUEST, &where) == 0, 30);
    must(where.offset < (uint64_t{1} << 31), 31);
    close_object(dev, where.handle);
    close(dev);
  });
  EXPECT_EQ(0, unknown.status);
  EXPECT_EQ("socdrm-sim: SOCDRM_MAP_OFFSETS=huge is neither low nor high: offsets stay low\n",
            unknown.err);
}

// What a driver refuses, the device refuses with the same error, and nothing is made by it.
TEST_F(SocdrmSim, CallsADriverWouldRefuseAreRefused) {
  const ChildRun run = run_child([] {
    const size_t page = (size_t)sysconf(_SC_PAGESIZE);
    int dev = open_device();
    auto refused = [](int ret, int err) { return ret == -1 && errno == err; };
    GemCreateRequest create = {};
    must(refused(ioctl(dev, GEM_CREATE_REQUEST, &create), EINVAL), 40);  // size 0
    create.size = (uint64_t)UINT32_MAX + 1;
    must(refused(ioctl(dev, GEM_CREATE_REQUEST, &create), EINVAL), 41);
    must(refused(ioctl(dev, GEM_CREATE_REQUEST, nullptr), EFAULT), 42);
    must(refused(ioctl(dev, DRM_IOCTL_MODE_CREATE_DUMB, &create), ENOTTY), 43);
    uint32_t handle = create_object(dev, page);
    GemMapOffsetRequest where = {};
    where.handle = handle + 1;
    must(refused(ioctl(dev, GEM_MAP_OFFSET_REQUEST, &where), ENOENT), 44);
    drm_prime_handle prime = {};
    prime.handle = handle + 1;
    must(refused(ioctl(dev, DRM_IOCTL_PRIME_HANDLE_TO_FD, &prime), ENOENT), 45);
    where.handle = handle;
    must(ioctl(dev, GEM_MAP_OFFSET_REQUEST, &where) == 0, 46);
    // Longer than the object, at an offset no object has, then after the object is closed.
    must(mmap(nullptr, 2 * page, PROT_READ, MAP_SHARED, dev, (off_t)where.offset) == MAP_FAILED &&
             errno == EINVAL,
         47);
    must(mmap(nullptr, page, PROT_READ, MAP_SHARED, dev, (off_t)(where.offset + page)) ==
                 MAP_FAILED &&
             errno == EINVAL,
         48);
    close_object(dev, handle);
    must(mmap(nullptr, page, PROT_READ, MAP_SHARED, dev, (off_t)where.offset) == MAP_FAILED, 49);
    drm_gem_close twice = {};
    twice.handle = handle;
    must(refused(ioctl(dev, DRM_IOCTL_GEM_CLOSE, &twice), EINVAL), 50);
    close(dev);
  });
  EXPECT_EQ(0, run.status) << "the step that was not refused";
  EXPECT_EQ(report_of({{"/device_opened", 1},
                       {"/device_closed", 1},
                       {"/objects_created", 1},
                       {"/objects_closed", 1}}),
            run.report);
}

}  // namespace
