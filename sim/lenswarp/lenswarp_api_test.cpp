// The stand-in library through its entry points: job checks, buffers by descriptor, the mesh
// state and its changes while frames run.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <lenswarp_api.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "fisheye_model.h"
#include "scratch_dir.h"
#include "warp_test_pictures.h"

namespace {

using namespace lenswarp_test;

constexpr uint32_t kNV12 = 0x3231564E;

// A memfd-backed buffer, as the library's own allocator makes them.
struct Buffer {
  int fd = -1;
  size_t size = 0;
  uint8_t *data = nullptr;
  explicit Buffer(size_t n) : size(n) {
    fd = memfd_create("lenswarp-test", MFD_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(0, ftruncate(fd, (off_t)n));
    data = static_cast<uint8_t *>(mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    EXPECT_NE(MAP_FAILED, (void *)data);
  }
  ~Buffer() {
    munmap(data, size);
    if (fd >= 0) close(fd);
  }
  void fill(const std::vector<uint8_t> &bytes) { memcpy(data, bytes.data(), bytes.size()); }
  std::vector<uint8_t> bytes(size_t n) const { return std::vector<uint8_t>(data, data + n); }
};

FecConfig job_config(int w, int h) {
  FecConfig cfg = {};
  cfg.header = FEC_CONFIG_HEADER;
  cfg.size = sizeof(FecConfig);
  cfg.width = cfg.out_width = (uint32_t)w;
  cfg.height = cfg.out_height = (uint32_t)h;
  cfg.pixelformat = cfg.out_pixelformat = kNV12;
  cfg.border_mode = 1;
  return cfg;
}

FecOnlineConfig small_lens(int level) {
  FecOnlineConfig o = {};
  o.light_center[0] = 64;
  o.light_center[1] = 32;
  o.coeff[0] = -40;
  o.coeff[1] = 4e-3;
  o.correct_level = level;
  o.calib_width = 128;
  o.calib_height = 64;
  o.calib_level_maxLimit = 200;
  return o;
}

FecConfig online_config(int w, int h, int level) {
  FecConfig cfg = job_config(w, h);
  cfg.mesh_mode = FEC_MESH_MODE_ONLINE;
  cfg.online = small_lens(level);
  return cfg;
}

// The frame the library should make for `mesh` from `in`, computed by the engine directly.
std::vector<uint8_t> expected_frame(int w, int h, const Mesh &mesh, const std::vector<uint8_t> &in,
                                    int border = 1) {
  WarpJob job = make_job(packed(w, h), packed(w, h), mesh, border, 0, 0, 0);
  std::vector<uint8_t> out(job.settings.out.bytes());
  lenswarp::warp_frame(job, in.data(), out.data(), lenswarp::scalar_kernel());
  return out;
}

TEST(LenswarpApi, InitRefusesJobsTheEngineCannotRun) {
  using Change = void (*)(FecConfig *);
  const Change refused[] = {
      [](FecConfig *c) { c->stride = 70, c->offset_x = 8; },  // 8 + 64 > 70
      [](FecConfig *c) { c->out_stride = 96, c->out_offset_x = 33; },
      [](FecConfig *c) { c->offset_x = -2, c->stride = 80; },
      [](FecConfig *c) { c->offset_x = 1; },  // stride 0 means the width
      [](FecConfig *c) { c->width = 63; },    // NV12 needs even sizes
      [](FecConfig *c) { c->out_height = 31; },
      [](FecConfig *c) { c->border_mode = 2; },
      [](FecConfig *c) { c->bg_v = 256; },
      [](FecConfig *c) { c->out_pixelformat = 0x30434246; },  // FBC0
      [](FecConfig *c) { c->online.direction = 5; },
      [](FecConfig *c) { c->online.correct_level = 201; },
  };
  FecConfig good = online_config(64, 32, 100);
  good.stride = 80;
  good.offset_x = 16;  // exactly fills the line
  FecContext ctx = tq_lenswarp_api_init(&good);
  ASSERT_NE(nullptr, ctx);
  tq_lenswarp_api_deinit(ctx);
  for (size_t i = 0; i < sizeof(refused) / sizeof(refused[0]); ++i) {
    FecConfig cfg = online_config(64, 32, 100);
    refused[i](&cfg);
    errno = 0;
    EXPECT_EQ(nullptr, tq_lenswarp_api_init(&cfg)) << "case " << i;
    EXPECT_EQ(EINVAL, errno) << "case " << i;
  }
}

// Run only by the CTest entry lenswarp_sim_unknown_kernel, with LENSWARP_KERNEL naming no kernel
// (the library reads it once per process).
TEST(LenswarpApi, DISABLED_InitRefusesAKernelThatIsNotHere) {
  ASSERT_STREQ("AVX9", getenv("LENSWARP_KERNEL"));
  FecConfig cfg = online_config(64, 32, 100);
  errno = 0;
  EXPECT_EQ(nullptr, tq_lenswarp_api_init(&cfg));
  EXPECT_EQ(EINVAL, errno);
}

TEST(LenswarpApi, ProcessNeedsBuffersThatHoldTheGeometry) {
  FecConfig cfg = online_config(64, 32, 0);
  cfg.stride = 72;
  cfg.offset_x = 4;
  cfg.out_stride = 66;
  FecContext ctx = tq_lenswarp_api_init(&cfg);
  ASSERT_NE(nullptr, ctx);
  // The last chroma line ends at its last used byte.
  const size_t in_need = 47 * 72 + 4 + 64, out_need = 47 * 66 + 64;
  struct Case {
    size_t in, out;
    int err;
  };
  const Case cases[] = {{in_need, out_need, 0},
                        {in_need - 1, out_need, EINVAL},
                        {in_need, out_need - 1, EINVAL},
                        {in_need + 1, out_need + 100, 0}};
  for (const Case &c : cases) {
    Buffer in(c.in), out(c.out);
    errno = 0;
    const int ret = tq_lenswarp_api_process(ctx, in.fd, out.fd);
    EXPECT_EQ(c.err == 0 ? 0 : -1, ret) << c.in << " " << c.out;
    EXPECT_EQ(c.err, ret ? errno : 0);
  }
  Buffer both(in_need + out_need);
  errno = 0;
  EXPECT_NE(0, tq_lenswarp_api_process(ctx, both.fd, both.fd)) << "a picture is not its output";
  EXPECT_EQ(EINVAL, errno);
  tq_lenswarp_api_deinit(ctx);
}

TEST(LenswarpApi, MeshFilesOfTheWrongSizeAreRefusedAndTheMeshKept) {
  const int w = 64, h = 32;
  const Mesh shift = shift_mesh(w, h, 2, 4);
  const std::vector<uint8_t> bytes = lenswarp::encode_mesh(shift);
  ScratchDir dir;
  const std::string good = dir.write("good.bin", std::string(bytes.begin(), bytes.end()));
  const std::string longer = dir.write("longer.bin", std::string(bytes.size() + 1, '\0'));
  const std::string shorter = dir.write("shorter.bin", std::string(bytes.begin(), bytes.end() - 1));

  FecConfig cfg = job_config(w, h);
  cfg.mesh_mode = FEC_MESH_MODE_FILE;
  snprintf(cfg.mesh_name, sizeof(cfg.mesh_name), "longer.bin");
  snprintf(cfg.mesh_dir, sizeof(cfg.mesh_dir), "%s/", dir.path().c_str());
  errno = 0;
  EXPECT_EQ(nullptr, tq_lenswarp_api_init(&cfg));
  EXPECT_EQ(EINVAL, errno);
  snprintf(cfg.mesh_name, sizeof(cfg.mesh_name), "good.bin");
  FecContext ctx = tq_lenswarp_api_init(&cfg);
  ASSERT_NE(nullptr, ctx);

  for (const std::string &bad : {longer, shorter}) {
    FecMeshConfig m = {};
    m.mode = FEC_MESH_CFG_FILE;
    snprintf(m.path, sizeof(m.path), "%s", bad.c_str());
    errno = 0;
    EXPECT_NE(0, tq_lenswarp_api_set_mesh_config(ctx, &m)) << bad;
    EXPECT_EQ(EINVAL, errno);
  }
  FecMeshConfig reported = {};
  ASSERT_EQ(0, tq_lenswarp_api_get_mesh_config(ctx, &reported));
  EXPECT_EQ(FEC_MESH_CFG_FILE, reported.mode);
  EXPECT_EQ(good, reported.path) << "the path as given, of the last mesh accepted";

  const PictureLayout layout = packed(w, h);
  const std::vector<uint8_t> picture = random_picture(layout, 21);
  Buffer in(layout.bytes()), out(layout.bytes());
  in.fill(picture);
  ASSERT_EQ(0, tq_lenswarp_api_process(ctx, in.fd, out.fd));
  EXPECT_EQ(expected_frame(w, h, shift, picture), out.bytes(layout.bytes()));
  tq_lenswarp_api_deinit(ctx);
}

TEST(LenswarpApi, OnlineChangesRegenerateTheMesh) {
  const int w = 128, h = 64;
  const PictureLayout layout = packed(w, h);
  const std::vector<uint8_t> picture = random_picture(layout, 23);
  Buffer in(layout.bytes()), out(layout.bytes());
  in.fill(picture);
  auto online_mesh = [&](int level) {
    Mesh m;
    EXPECT_EQ(0, lenswarp::generate_mesh(small_lens(level), w, h, w, h, &m));
    return m;
  };

  FecConfig cfg = online_config(w, h, 0);
  FecContext ctx = tq_lenswarp_api_init(&cfg);
  ASSERT_NE(nullptr, ctx);
  ASSERT_EQ(0, tq_lenswarp_api_process(ctx, in.fd, out.fd));
  EXPECT_EQ(picture, out.bytes(layout.bytes())) << "level 0 copies the picture";

  // set_cfg with another level.
  FecConfig changed = {};
  ASSERT_EQ(0, tq_lenswarp_api_get_cfg(ctx, &changed));
  changed.online.correct_level = 200;
  ASSERT_EQ(0, tq_lenswarp_api_set_cfg(ctx, &changed));
  ASSERT_EQ(0, tq_lenswarp_api_process(ctx, in.fd, out.fd));
  const std::vector<uint8_t> full = expected_frame(w, h, online_mesh(200), picture);
  EXPECT_NE(picture, full);
  EXPECT_EQ(full, out.bytes(layout.bytes()));

  // set_mesh_config mode 0 from its own parameters.
  FecMeshConfig m = {};
  ASSERT_EQ(0, tq_lenswarp_api_get_mesh_config(ctx, &m));
  EXPECT_EQ(FEC_MESH_CFG_ONLINE, m.mode);
  EXPECT_EQ(200, m.online_config.correct_level);
  m.online_config.correct_level = 100;
  ASSERT_EQ(0, tq_lenswarp_api_set_mesh_config(ctx, &m));
  ASSERT_EQ(0, tq_lenswarp_api_process(ctx, in.fd, out.fd));
  EXPECT_EQ(expected_frame(w, h, online_mesh(100), picture), out.bytes(layout.bytes()));

  // A refused level changes nothing.
  m.online_config.correct_level = 300;
  errno = 0;
  EXPECT_NE(0, tq_lenswarp_api_set_mesh_config(ctx, &m));
  EXPECT_EQ(EINVAL, errno);
  FecMeshConfig now = {};
  ASSERT_EQ(0, tq_lenswarp_api_get_mesh_config(ctx, &now));
  EXPECT_EQ(100, now.online_config.correct_level);
  tq_lenswarp_api_deinit(ctx);
}

// Frames run while another thread swaps between two meshes: each frame is wholly one or the
// other. Run under the tsan preset this also checks the locking.
TEST(LenswarpApi, FramesNeverMixTwoMeshesWhileTheMeshChanges) {
  const int w = 128, h = 64;
  const PictureLayout layout = packed(w, h);
  const std::vector<uint8_t> picture = random_picture(layout, 41);
  const Mesh meshes[2] = {shift_mesh(w, h, 0, 0), shift_mesh(w, h, 6, -4)};
  const std::vector<uint8_t> encoded[2] = {lenswarp::encode_mesh(meshes[0]),
                                           lenswarp::encode_mesh(meshes[1])};
  const std::vector<uint8_t> frames[2] = {expected_frame(w, h, meshes[0], picture),
                                          expected_frame(w, h, meshes[1], picture)};
  ASSERT_NE(frames[0], frames[1]);

  FecConfig cfg = online_config(w, h, 0);
  FecContext ctx = tq_lenswarp_api_init(&cfg);
  ASSERT_NE(nullptr, ctx);
  Buffer in(layout.bytes()), out(layout.bytes());
  in.fill(picture);

  // Frames run back to back while the changer swaps the mesh; after each change it waits for a
  // frame that began after it, so both meshes are surely used, whatever the scheduler does.
  const int kChanges = 20;
  std::mutex lock;
  std::condition_variable progress;
  int frames_done = 0;
  bool stop = false, changer_ended = false;
  int changes = 0;
  std::thread changer([&] {
    for (int i = 1; i <= kChanges; ++i) {
      FecMeshConfig m = {};
      if (tq_lenswarp_api_get_mesh_config(ctx, &m) != 0) break;
      m.mode = FEC_MESH_CFG_MEMORY;
      m.vaddr = (uintptr_t)encoded[i % 2].data();
      m.size = (uint32_t)encoded[i % 2].size();
      m.use_vaddr = 1;
      if (tq_lenswarp_api_set_mesh_config(ctx, &m) != 0) break;
      std::unique_lock<std::mutex> guard(lock);
      ++changes;
      const int changed_at = frames_done;
      progress.wait(guard, [&] { return stop || frames_done >= changed_at + 2; });
      if (stop) break;
    }
    std::lock_guard<std::mutex> guard(lock);
    changer_ended = true;
  });
  int seen[2] = {0, 0};
  for (int frame = 0;; ++frame) {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (changer_ended) break;
    }
    const bool processed = tq_lenswarp_api_process(ctx, in.fd, out.fd) == 0;
    const std::vector<uint8_t> got = out.bytes(layout.bytes());
    const int which = got == frames[0] ? 0 : got == frames[1] ? 1 : -1;
    EXPECT_TRUE(processed) << "frame " << frame;
    EXPECT_NE(-1, which) << "frame " << frame << " mixes the meshes";
    if (!processed || which == -1) break;
    ++seen[which];
    std::lock_guard<std::mutex> guard(lock);
    frames_done = frame + 1;
    progress.notify_all();
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    stop = true;
    progress.notify_all();
  }
  changer.join();
  EXPECT_EQ(kChanges, changes);
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[1], 0);
  tq_lenswarp_api_deinit(ctx);
}

// vb_free takes back only what vb_alloc handed out: a record freed already, or made up, is
// refused and leaves alone whatever now has its descriptor number or its address.
TEST(LenswarpApi, VbFreeTakesBackOnlyLiveAllocations) {
  const int handle = tq_lenswarp_api_vb_init();
  ASSERT_GE(handle, 0);
  const size_t page = (size_t)getpagesize();
  DmaBuffer buf = {};
  ASSERT_EQ(0, tq_lenswarp_api_vb_alloc(handle, (uint32_t)(2 * page), &buf));
  DmaBuffer resized = buf;
  resized.size = 1;  // the record's size is not what is unmapped
  EXPECT_EQ(0, tq_lenswarp_api_vb_free(handle, &resized));

  // The number and the address, taken by others since.
  const int taken = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (taken != buf.fd) {
    ASSERT_EQ(buf.fd, dup3(taken, buf.fd, O_CLOEXEC));
    close(taken);
  }
  void *other = mmap(buf.vaddr, 2 * page, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  ASSERT_EQ(buf.vaddr, other);
  DmaBuffer made_up = {0, buf.fd, (int64_t)page, other};
  for (DmaBuffer *record : {&buf, &made_up}) {
    errno = 0;
    EXPECT_EQ(-1, tq_lenswarp_api_vb_free(handle, record));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_EQ(FD_CLOEXEC, fcntl(buf.fd, F_GETFD)) << "the descriptor is still open";
    EXPECT_EQ(0, msync(other, 2 * page, MS_ASYNC)) << "the mapping is still there";
  }
  munmap(other, 2 * page);
  close(buf.fd);
  EXPECT_EQ(0, tq_lenswarp_api_vb_deinit(handle));
}

}  // namespace
