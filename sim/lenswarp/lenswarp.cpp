// The stand-in libLenswarp.so: the job records, contexts and the engine entry points.
#include <errno.h>
#include <stdlib.h>
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

#include "calibration_ini.h"
#include "call_trace.h"
#include "lenswarp_api.h"
#include "mesh_format.h"

#define LENSWARP_EXPORT extern "C" __attribute__((visibility("default")))

namespace lenswarp {
namespace {

constexpr uint32_t kNV12 = 0x3231564E;

struct Context {
  // Held by every call on the context, so configuration calls from one thread and process()
  // from another never see each other half done.
  std::mutex lock;
  FecConfig cfg;
  FecMeshConfig mesh_cfg;
  std::vector<uint8_t> mesh;  // the mesh the engine uses, for file and memory sources
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

// What the engine would use after accepting `cfg`: its mesh configuration and mesh bytes.
struct Accepted {
  FecMeshConfig mesh_cfg;
  std::vector<uint8_t> mesh;
};

int check_job(const FecConfig *cfg, Accepted *out) {
  if (cfg == nullptr) return EINVAL;
  if (cfg->header != FEC_CONFIG_HEADER || cfg->size != sizeof(FecConfig)) return EINVAL;
  if (cfg->width == 0 || cfg->height == 0 || cfg->out_width == 0 || cfg->out_height == 0) {
    return EINVAL;
  }
  if (cfg->pixelformat != kNV12 || cfg->out_pixelformat != kNV12) return EINVAL;
  memset(&out->mesh_cfg, 0, sizeof(out->mesh_cfg));
  MeshGeometry geometry = mesh_geometry((int)cfg->out_width, (int)cfg->out_height);
  switch (cfg->mesh_mode) {
    case FEC_MESH_MODE_ONLINE:
      out->mesh_cfg.mode = FEC_MESH_CFG_ONLINE;
      out->mesh_cfg.online_config = cfg->online;
      return 0;
    case FEC_MESH_MODE_FILE: {
      std::string path = bounded(cfg->mesh_dir, sizeof(cfg->mesh_dir)) +
                         bounded(cfg->mesh_name, sizeof(cfg->mesh_name));
      if (path.size() >= sizeof(out->mesh_cfg.path)) return ENAMETOOLONG;
      int err = read_mesh_file_exact(path, geometry.bytes(), &out->mesh);
      if (err != 0) return err;
      out->mesh_cfg.mode = FEC_MESH_CFG_FILE;
      memcpy(out->mesh_cfg.path, path.c_str(), path.size());
      return 0;
    }
    case FEC_MESH_MODE_INI: {
      std::string path = bounded(cfg->ini_path, sizeof(cfg->ini_path));
      int err = load_calibration_ini(path.c_str(), &out->mesh_cfg.online_config);
      if (err != 0) return err;
      out->mesh_cfg.mode = FEC_MESH_CFG_ONLINE;
      return 0;
    }
    default:
      return EINVAL;
  }
}

// Maps a whole buffer descriptor; its length is where the descriptor's end lies.
struct Mapping {
  void *addr = MAP_FAILED;
  size_t len = 0;
  int map(int fd, int prot) {
    off_t end = lseek(fd, 0, SEEK_END);
    if (end <= 0) return end < 0 ? errno : EINVAL;
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

int check_mesh_config(const FecConfig &cfg, const FecMeshConfig *m, std::vector<uint8_t> *mesh) {
  if (m == nullptr) return EINVAL;
  size_t bytes = mesh_geometry((int)cfg.out_width, (int)cfg.out_height).bytes();
  switch (m->mode) {
    case FEC_MESH_CFG_ONLINE:
      return 0;
    case FEC_MESH_CFG_FILE: {
      if (strnlen(m->path, sizeof(m->path)) == sizeof(m->path)) return ENAMETOOLONG;
      return read_mesh_file_exact(m->path, bytes, mesh);
    }
    case FEC_MESH_CFG_MEMORY:
      if (m->size != bytes) return EINVAL;
      if (m->use_vaddr) {
        if (m->vaddr == 0) return EINVAL;
        const uint8_t *src = reinterpret_cast<const uint8_t *>(m->vaddr);
        mesh->assign(src, src + bytes);
        return 0;
      }
      return copy_mesh_from_fd(m->dma_fd, bytes, mesh);
    default:
      return EINVAL;
  }
}

// Until the correction engine is built, a frame is the input copied as far as both buffers
// allow.
int run_engine(Context *, int in_fd, int out_fd) {
  Mapping in;
  Mapping out;
  int err = in.map(in_fd, PROT_READ);
  if (err == 0) err = out.map(out_fd, PROT_READ | PROT_WRITE);
  if (err != 0) return err;
  memcpy(out.addr, in.addr, std::min(in.len, out.len));
  return 0;
}

// LENSWARP_FAIL_PROCESS_AT=N makes the Nth process call fail with EIO, so that a program's
// handling of an engine failure in the middle of a run can be tried.
bool process_fault_due() {
  static std::atomic<long> calls{0};
  static const long fail_at = [] {
    const char *v = getenv("LENSWARP_FAIL_PROCESS_AT");
    return v == nullptr ? 0L : strtol(v, nullptr, 10);
  }();
  return ++calls == fail_at;
}

int result_of(int err) {
  if (err == 0) return 0;
  errno = err;
  return -1;
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
  trace.finish(err ? -1 : 0, err, err);
  return lenswarp::result_of(err);
}

LENSWARP_EXPORT FecContext tq_lenswarp_api_init(FecConfig *cfg) {
  TraceLine trace("init", monotonic_ns());
  lenswarp::Accepted accepted;
  int err = lenswarp::check_job(cfg, &accepted);
  FecContext ctx = nullptr;
  if (err == 0) {
    auto context = std::make_shared<Context>();
    context->cfg = *cfg;
    context->mesh_cfg = accepted.mesh_cfg;
    context->mesh.swap(accepted.mesh);
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
  trace.unum("ctx", (uintptr_t)handle).finish(err ? -1 : 0, err, err);
  return lenswarp::result_of(err);
}

LENSWARP_EXPORT int tq_lenswarp_api_process(FecContext handle, int in_fd, int out_fd) {
  TraceLine trace("process", monotonic_ns());
  std::shared_ptr<Context> ctx = lenswarp::find_context(handle);
  int err = EINVAL;
  if (lenswarp::process_fault_due()) {
    err = EIO;
  } else if (ctx) {
    std::lock_guard<std::mutex> guard(ctx->lock);
    err = lenswarp::run_engine(ctx.get(), in_fd, out_fd);
  }
  trace.unum("ctx", (uintptr_t)handle).num("in_fd", in_fd).num("out_fd", out_fd);
  trace.finish(err ? -1 : 0, err, err);
  return lenswarp::result_of(err);
}

LENSWARP_EXPORT int tq_lenswarp_api_get_cfg(FecContext handle, FecConfig *cfg) {
  TraceLine trace("get_cfg", monotonic_ns());
  std::shared_ptr<Context> ctx = lenswarp::find_context(handle);
  int err = EINVAL;
  if (cfg != nullptr && ctx) {
    std::lock_guard<std::mutex> guard(ctx->lock);
    *cfg = ctx->cfg;
    err = 0;
  }
  trace.unum("ctx", (uintptr_t)handle).config("cfg", err == 0 ? cfg : nullptr);
  trace.finish(err ? -1 : 0, err, err);
  return lenswarp::result_of(err);
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
      ctx->mesh.swap(accepted.mesh);
    }
  }
  trace.unum("ctx", (uintptr_t)handle).config("cfg", cfg).finish(err ? -1 : 0, err, err);
  return lenswarp::result_of(err);
}

LENSWARP_EXPORT int tq_lenswarp_api_get_mesh_config(FecContext handle, FecMeshConfig *mesh_cfg) {
  TraceLine trace("get_mesh_config", monotonic_ns());
  std::shared_ptr<Context> ctx = lenswarp::find_context(handle);
  int err = EINVAL;
  if (mesh_cfg != nullptr && ctx) {
    std::lock_guard<std::mutex> guard(ctx->lock);
    *mesh_cfg = ctx->mesh_cfg;
    err = 0;
  }
  trace.unum("ctx", (uintptr_t)handle).mesh_config("mesh_cfg", err == 0 ? mesh_cfg : nullptr);
  trace.finish(err ? -1 : 0, err, err);
  return lenswarp::result_of(err);
}

LENSWARP_EXPORT int tq_lenswarp_api_set_mesh_config(FecContext handle, FecMeshConfig *mesh_cfg) {
  TraceLine trace("set_mesh_config", monotonic_ns());
  std::shared_ptr<Context> ctx = lenswarp::find_context(handle);
  int err = EINVAL;
  if (ctx) {
    FecConfig cfg;
    {
      std::lock_guard<std::mutex> guard(ctx->lock);
      cfg = ctx->cfg;
    }
    // The mesh is copied out of the caller's memory before returning, outside the lock, so a
    // running frame is not held up by file or memory reads.
    std::vector<uint8_t> mesh;
    err = lenswarp::check_mesh_config(cfg, mesh_cfg, &mesh);
    if (err == 0) {
      std::lock_guard<std::mutex> guard(ctx->lock);
      ctx->mesh_cfg = *mesh_cfg;
      ctx->mesh.swap(mesh);
    }
  }
  trace.unum("ctx", (uintptr_t)handle).mesh_config("mesh_cfg", mesh_cfg);
  trace.finish(err ? -1 : 0, err, err);
  return lenswarp::result_of(err);
}

LENSWARP_EXPORT int tq_lenswarp_api_calFecMeshsize(int out_width, int out_height) {
  TraceLine trace("calFecMeshsize", monotonic_ns());
  size_t n = lenswarp::mesh_geometry(out_width, out_height).points();
  trace.num("out_width", out_width).num("out_height", out_height).finish((long long)n, false, 0);
  return (int)n;
}
