// The stand-in libLenswarp.so: the job records, contexts and the engine entry points.
#include <errno.h>
#include <lenswarp_api_layout.h>
#include <pixel_formats.h>
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "buffer_maps.h"
#include "calibration_ini.h"
#include "call_trace.h"
#include "entry_points.h"
#include "fisheye_model.h"
#include "library_settings.h"
#include "mesh_format.h"
#include "thread_pool.h"
#include "warp_engine.h"

namespace lenswarp {
namespace {

// What a frame uses: replaced whole, never changed once published, so a frame that took it
// under the lock can run without the lock and still never mixes two meshes.
using JobPtr = std::shared_ptr<const WarpJob>;

struct Context {
  // Held briefly by every call that reads or replaces the configuration.
  std::mutex lock;
  FecConfig cfg;
  FecMeshConfig mesh_cfg;
  JobPtr job;

  // Frames run one at a time; configuration calls do not wait for them.
  std::mutex frame_lock;
  BufferMaps maps;
  std::unique_ptr<ThreadPool> pool;
  const WarpKernel *kernel = nullptr;
};

// Calls hold a reference while they run, so a deinit on another thread cannot free the
// context under them; an unknown handle is refused instead of dereferenced.
std::mutex contexts_lock;
std::map<FecContext, std::shared_ptr<Context>> live_contexts;

std::shared_ptr<Context> find_context(FecContext handle) {
  std::lock_guard<std::mutex> guard(contexts_lock);
  auto it = live_contexts.find(handle);
  return it == live_contexts.end() ? nullptr : it->second;
}

std::string bounded(const char *text, size_t max_len) {
  return std::string(text, strnlen(text, max_len));
}

// What the engine would use after accepting `cfg`: its mesh configuration and frame job.
struct Accepted {
  FecMeshConfig mesh_cfg;
  JobPtr job;
};

constexpr int kMaxPictureSide = 16384;

// A picture the engine can address: NV12 needs even sizes, and the used part of every line
// must lie inside the line.
int check_picture(uint32_t width, uint32_t height, int32_t stride, int32_t offset_x,
                  PictureLayout *layout) {
  if (width == 0 || height == 0 || width > kMaxPictureSide || height > kMaxPictureSide) {
    return EINVAL;
  }
  if (width % 2 != 0 || height % 2 != 0) return EINVAL;
  layout->width = (int)width;
  layout->height = (int)height;
  layout->stride = stride < (int32_t)width ? (int32_t)width : stride;
  layout->offset_x = offset_x;
  if (offset_x < 0 || (int64_t)offset_x + width > layout->stride) return EINVAL;
  // Sample offsets are 32-bit in the vector code.
  if (nv12_frame_bytes((uint64_t)layout->stride, height) > INT32_MAX) return EINVAL;
  return 0;
}

// The engine's settings for `cfg`, or EINVAL for geometry or options the engine refuses.
int check_settings(const FecConfig &cfg, WarpSettings *s) {
  int err = check_picture(cfg.width, cfg.height, cfg.stride, cfg.offset_x, &s->in);
  if (err == 0) {
    err = check_picture(cfg.out_width, cfg.out_height, cfg.out_stride, cfg.out_offset_x, &s->out);
  }
  if (err != 0) return err;
  if (cfg.border_mode != kBorderBackground && cfg.border_mode != kBorderNearest) return EINVAL;
  if (cfg.bg_y > 255 || cfg.bg_u > 255 || cfg.bg_v > 255) return EINVAL;
  s->border_mode = cfg.border_mode;
  s->bg_y = (uint8_t)cfg.bg_y;
  s->bg_u = (uint8_t)cfg.bg_u;
  s->bg_v = (uint8_t)cfg.bg_v;
  return 0;
}

int online_mesh(const FecConfig &cfg, const FecOnlineConfig &online, Mesh *mesh) {
  return generate_mesh(online, (int)cfg.width, (int)cfg.height, (int)cfg.out_width,
                       (int)cfg.out_height, mesh);
}

int check_job(const FecConfig *cfg, Accepted *out) {
  if (cfg == nullptr) return EINVAL;
  if (cfg->header != FEC_CONFIG_HEADER || cfg->size != sizeof(FecConfig)) return EINVAL;
  if (cfg->width == 0 || cfg->height == 0 || cfg->out_width == 0 || cfg->out_height == 0) {
    return EINVAL;
  }
  if (cfg->pixelformat != DRM_FORMAT_NV12 || cfg->out_pixelformat != DRM_FORMAT_NV12) return EINVAL;
  // The geometry first, so a mesh is neither read nor generated for a job that is refused.
  WarpSettings settings;
  int err = check_settings(*cfg, &settings);
  if (err != 0) return err;
  memset(&out->mesh_cfg, 0, sizeof(out->mesh_cfg));
  MeshGeometry geometry = mesh_geometry((int)cfg->out_width, (int)cfg->out_height);
  Mesh mesh;
  switch (cfg->mesh_mode) {
    case FEC_MESH_MODE_ONLINE:
      err = online_mesh(*cfg, cfg->online, &mesh);
      if (err != 0) return err;
      out->mesh_cfg.mode = FEC_MESH_CFG_ONLINE;
      out->mesh_cfg.online_config = cfg->online;
      break;
    case FEC_MESH_MODE_FILE: {
      std::string path = bounded(cfg->mesh_dir, sizeof(cfg->mesh_dir)) +
                         bounded(cfg->mesh_name, sizeof(cfg->mesh_name));
      if (path.size() >= sizeof(out->mesh_cfg.path)) return ENAMETOOLONG;
      std::vector<uint8_t> bytes;
      err = read_mesh_file_exact(path, geometry.bytes(), &bytes);
      if (err == 0) err = decode_mesh(bytes.data(), bytes.size(), geometry, &mesh);
      if (err != 0) return err;
      out->mesh_cfg.mode = FEC_MESH_CFG_FILE;
      memcpy(out->mesh_cfg.path, path.c_str(), path.size());
      break;
    }
    case FEC_MESH_MODE_INI: {
      std::string path = bounded(cfg->ini_path, sizeof(cfg->ini_path));
      err = load_calibration_ini(path.c_str(), &out->mesh_cfg.online_config);
      if (err == 0) err = online_mesh(*cfg, out->mesh_cfg.online_config, &mesh);
      if (err != 0) return err;
      out->mesh_cfg.mode = FEC_MESH_CFG_ONLINE;
      break;
    }
    default:
      return EINVAL;
  }
  out->job = std::make_shared<const WarpJob>(WarpJob{settings, std::move(mesh)});
  return 0;
}

// Maps a whole buffer descriptor; its length is where the descriptor's end lies.
struct Mapping {
  void *addr = MAP_FAILED;
  size_t len = 0;
  int map(int fd, int prot) {
    off_t end = lseek(fd, 0, SEEK_END);
    if (end <= 0) return end < 0 ? errno : EINVAL;
    // A 32-bit process cannot map more than its address space, whatever the descriptor holds.
    if ((uint64_t)end > SIZE_MAX) return ENOMEM;
    len = (size_t)end;
    addr = mmap(nullptr, len, prot, MAP_SHARED, fd, 0);
    return addr == MAP_FAILED ? errno : 0;
  }
  ~Mapping() {
    if (addr != MAP_FAILED) munmap(addr, len);
  }
};

int copy_mesh_from_fd(int fd, size_t bytes, std::vector<uint8_t> *mesh) {
  Mapping m;
  int err = m.map(fd, PROT_READ);
  if (err != 0) return err;
  if (m.len < bytes) return EINVAL;
  const uint8_t *src = static_cast<const uint8_t *>(m.addr);
  mesh->assign(src, src + bytes);
  return 0;
}

// The mesh that `m` describes for the job `cfg`, read, copied or generated.
int check_mesh_config(const FecConfig &cfg, const FecMeshConfig *m, Mesh *mesh) {
  if (m == nullptr) return EINVAL;
  MeshGeometry geometry = mesh_geometry((int)cfg.out_width, (int)cfg.out_height);
  const size_t bytes = geometry.bytes();
  std::vector<uint8_t> raw;
  int err = 0;
  switch (m->mode) {
    case FEC_MESH_CFG_ONLINE:
      return online_mesh(cfg, m->online_config, mesh);
    case FEC_MESH_CFG_FILE:
      if (strnlen(m->path, sizeof(m->path)) == sizeof(m->path)) return ENAMETOOLONG;
      err = read_mesh_file_exact(m->path, bytes, &raw);
      break;
    case FEC_MESH_CFG_MEMORY:
      if (m->size != bytes) return EINVAL;
      if (m->use_vaddr) {
        if (m->vaddr == 0) return EINVAL;
        const uint8_t *src = reinterpret_cast<const uint8_t *>(m->vaddr);
        raw.assign(src, src + bytes);
      } else {
        err = copy_mesh_from_fd(m->dma_fd, bytes, &raw);
      }
      break;
    default:
      return EINVAL;
  }
  if (err != 0) return err;
  return decode_mesh(raw.data(), raw.size(), geometry, mesh);
}

int run_engine(Context *ctx, int in_fd, int out_fd) {
  std::lock_guard<std::mutex> frame(ctx->frame_lock);
  JobPtr job;
  {
    std::lock_guard<std::mutex> guard(ctx->lock);
    job = ctx->job;
  }
  BufferView in, out;
  int err = ctx->maps.get(in_fd, false, &in);
  if (err == 0) err = ctx->maps.get(out_fd, true, &out);
  if (err != 0) return err;
  // Rows are written while others are still read: the picture cannot be its own output.
  if (in.dev == out.dev && in.ino == out.ino) return EINVAL;
  if (in.len < job->settings.in.bytes() || out.len < job->settings.out.bytes()) return EINVAL;
  warp_frame_on(*ctx->pool, *job, in.addr, out.addr, *ctx->kernel);
  return 0;
}

// What the getters share: the context's current `field`, copied out under its lock. 0, or EINVAL
// for an unknown handle or no record to fill.
template <typename Record>
int copy_current(FecContext handle, Record Context::*field, Record *out) {
  std::shared_ptr<Context> ctx = find_context(handle);
  if (out == nullptr || !ctx) return EINVAL;
  std::lock_guard<std::mutex> guard(ctx->lock);
  *out = (*ctx).*field;
  return 0;
}

// LENSWARP_FAIL_PROCESS_AT=N makes the Nth process call fail with EIO, so that a program's
// handling of an engine failure in the middle of a run can be tried.
bool process_fault_due() {
  static std::atomic<long> calls{0};
  return ++calls == library_settings().fail_process_at;
}

}  // namespace
}  // namespace lenswarp

using lenswarp::Context;
using lenswarp::monotonic_ns;
using lenswarp::TraceLine;

LENSWARP_EXPORT int tq_lenswarp_api_load_online_config_from_ini(const char *ini_path,
                                                                FecOnlineConfig *cfg) {
  TraceLine trace("load_online_config_from_ini", monotonic_ns());
  int err = lenswarp::load_calibration_ini(ini_path, cfg);
  trace.str("path", ini_path, 4096);
  if (err == 0) trace.online("cfg", *cfg);
  return lenswarp::traced_result(trace, err);
}

LENSWARP_EXPORT FecContext tq_lenswarp_api_init(FecConfig *cfg) {
  TraceLine trace("init", monotonic_ns());
  const lenswarp::LibrarySettings &settings = lenswarp::library_settings();
  const lenswarp::WarpKernel *kernel = lenswarp::chosen_kernel(settings);
  lenswarp::Accepted accepted;
  int err = kernel == nullptr ? EINVAL : lenswarp::check_job(cfg, &accepted);
  FecContext ctx = nullptr;
  if (err == 0) {
    auto context = std::make_shared<Context>();
    context->cfg = *cfg;
    context->mesh_cfg = accepted.mesh_cfg;
    context->job = std::move(accepted.job);
    context->pool = std::make_unique<lenswarp::ThreadPool>(settings.threads);
    context->kernel = kernel;
    ctx = context.get();
    std::lock_guard<std::mutex> guard(lenswarp::contexts_lock);
    lenswarp::live_contexts[ctx] = context;
  }
  trace.config("cfg", cfg).finish((long long)(uintptr_t)ctx, err, err);
  if (err != 0) errno = err;
  return ctx;
}

LENSWARP_EXPORT int tq_lenswarp_api_deinit(FecContext handle) {
  TraceLine trace("deinit", monotonic_ns());
  int err = EINVAL;
  {
    std::lock_guard<std::mutex> guard(lenswarp::contexts_lock);
    if (lenswarp::live_contexts.erase(handle) != 0) err = 0;
  }
  return lenswarp::traced_result(trace.unum("ctx", (uintptr_t)handle), err);
}

LENSWARP_EXPORT int tq_lenswarp_api_process(FecContext handle, int in_fd, int out_fd) {
  TraceLine trace("process", monotonic_ns());
  std::shared_ptr<Context> ctx = lenswarp::find_context(handle);
  int err = EINVAL;
  if (lenswarp::process_fault_due()) {
    err = EIO;
  } else if (ctx) {
    err = lenswarp::run_engine(ctx.get(), in_fd, out_fd);
  }
  trace.unum("ctx", (uintptr_t)handle).num("in_fd", in_fd).num("out_fd", out_fd);
  return lenswarp::traced_result(trace, err);
}

LENSWARP_EXPORT int tq_lenswarp_api_get_cfg(FecContext handle, FecConfig *cfg) {
  TraceLine trace("get_cfg", monotonic_ns());
  int err = lenswarp::copy_current(handle, &Context::cfg, cfg);
  trace.unum("ctx", (uintptr_t)handle).config("cfg", err == 0 ? cfg : nullptr);
  return lenswarp::traced_result(trace, err);
}

LENSWARP_EXPORT int tq_lenswarp_api_set_cfg(FecContext handle, FecConfig *cfg) {
  TraceLine trace("set_cfg", monotonic_ns());
  std::shared_ptr<Context> ctx = lenswarp::find_context(handle);
  int err = EINVAL;
  if (ctx) {
    lenswarp::Accepted accepted;
    err = lenswarp::check_job(cfg, &accepted);
    if (err == 0) {
      std::lock_guard<std::mutex> guard(ctx->lock);
      ctx->cfg = *cfg;
      ctx->mesh_cfg = accepted.mesh_cfg;
      ctx->job = std::move(accepted.job);
    }
  }
  return lenswarp::traced_result(trace.unum("ctx", (uintptr_t)handle).config("cfg", cfg), err);
}

LENSWARP_EXPORT int tq_lenswarp_api_get_mesh_config(FecContext handle, FecMeshConfig *mesh_cfg) {
  TraceLine trace("get_mesh_config", monotonic_ns());
  int err = lenswarp::copy_current(handle, &Context::mesh_cfg, mesh_cfg);
  trace.unum("ctx", (uintptr_t)handle).mesh_config("mesh_cfg", err == 0 ? mesh_cfg : nullptr);
  return lenswarp::traced_result(trace, err);
}

LENSWARP_EXPORT int tq_lenswarp_api_set_mesh_config(FecContext handle, FecMeshConfig *mesh_cfg) {
  TraceLine trace("set_mesh_config", monotonic_ns());
  std::shared_ptr<Context> ctx = lenswarp::find_context(handle);
  int err = EINVAL;
  if (ctx) {
    FecConfig cfg;
    lenswarp::JobPtr current;
    {
      std::lock_guard<std::mutex> guard(ctx->lock);
      cfg = ctx->cfg;
      current = ctx->job;
    }
    // The mesh is read, copied or generated outside the lock, so neither frames nor other
    // calls wait for it; the new job shares everything but the mesh with the current one.
    lenswarp::Mesh mesh;
    err = lenswarp::check_mesh_config(cfg, mesh_cfg, &mesh);
    if (err == 0) {
      auto job = std::make_shared<const lenswarp::WarpJob>(
          lenswarp::WarpJob{current->settings, std::move(mesh)});
      std::lock_guard<std::mutex> guard(ctx->lock);
      // A call that replaced the job meanwhile wins: this mesh was made for the old one.
      if (ctx->job != current) {
        err = EAGAIN;
      } else {
        ctx->mesh_cfg = *mesh_cfg;
        ctx->job = std::move(job);
      }
    }
  }
  trace.unum("ctx", (uintptr_t)handle).mesh_config("mesh_cfg", mesh_cfg);
  return lenswarp::traced_result(trace, err);
}

LENSWARP_EXPORT int tq_lenswarp_api_calFecMeshsize(int out_width, int out_height) {
  TraceLine trace("calFecMeshsize", monotonic_ns());
  size_t n = lenswarp::mesh_geometry(out_width, out_height).points();
  trace.num("out_width", out_width).num("out_height", out_height).finish((long long)n, false, 0);
  return (int)n;
}
