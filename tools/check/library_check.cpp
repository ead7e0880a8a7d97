#include <dlfcn.h>
#include <errno.h>
#include <lenswarp_api.h>
#include <link.h>
#include <string.h>

#include "checks.h"
#include "string_format.h"

namespace {

const char library_name[] = "libLenswarp.so";  // the name warpbench links

// Every operation warpbench calls.
enum LensOperation {
  OP_LOAD_ONLINE_CONFIG_FROM_INI,
  OP_INIT,
  OP_PROCESS,
  OP_DEINIT,
  OP_GET_CFG,
  OP_SET_CFG,
  OP_GET_MESH_CONFIG,
  OP_SET_MESH_CONFIG,
  OP_CAL_FEC_MESHSIZE,
  OP_VB_INIT,
  OP_VB_ALLOC,
  OP_VB_FREE,
  OP_VB_DEINIT,
  OP_COUNT
};

const char *const operation_names[] = {
    "tq_lenswarp_api_load_online_config_from_ini",
    "tq_lenswarp_api_init",
    "tq_lenswarp_api_process",
    "tq_lenswarp_api_deinit",
    "tq_lenswarp_api_get_cfg",
    "tq_lenswarp_api_set_cfg",
    "tq_lenswarp_api_get_mesh_config",
    "tq_lenswarp_api_set_mesh_config",
    "tq_lenswarp_api_calFecMeshsize",
    "tq_lenswarp_api_vb_init",
    "tq_lenswarp_api_vb_alloc",
    "tq_lenswarp_api_vb_free",
    "tq_lenswarp_api_vb_deinit",
};
static_assert(sizeof(operation_names) / sizeof(operation_names[0]) == OP_COUNT,
              "one name per operation");

// One mesh cell (the mesh's grid step), corrected at level 0: the identity. NV12 sizes are even.
const uint32_t job_width = 32;
const uint32_t job_height = 16;
const uint32_t job_picture_bytes = job_width * job_height * 3 / 2;
const uint32_t nv12_fourcc = 0x3231564E;

const char not_found_hint[] =
    "install the maker's libLenswarp.so in a directory the loader searches (/usr/lib, or one "
    "named in /etc/ld.so.conf.d/*.conf, then run ldconfig), or name its directory in "
    "LD_LIBRARY_PATH; the simulated platform installs its own in lib/camtools beside bin/";
const char missing_operation_hint[] =
    "this libLenswarp.so is not the maker's library warpbench was built for: install the "
    "matching release (ldd warpbench shows the one warpbench loads)";
const char job_hint[] =
    "the library did not run a small job: check that the FEC engine's kernel driver is loaded and "
    "its messages in dmesg; a library from another SDK release than the kernel fails this way";

// The library and what the check holds of it; -1, null or false for what it does not hold.
struct LibraryProbe {
  void *library;
  std::string path;  // where the loader found it
  void *operations[OP_COUNT];
  int vb_handle;
  DmaBuffer buffers[2];  // input, output
  bool allocated[2];
  FecContext context;
};

// The operation `op` as the contract declares it, e.g. operation<decltype(&tq_lenswarp_api_init)>.
// decltype names the type without referring to the symbol, so nothing here links the library.
template <typename Operation>
Operation operation(const LibraryProbe *p, LensOperation op) {
  return reinterpret_cast<Operation>(p->operations[op]);
}

// The library's failed call `what`, with `error`.
CheckResult job_failure(const LibraryProbe *p, const std::string &what, int error) {
  return {VERDICT_FAIL,
          StringPrintf("%s: %s failed: %s", p->path.c_str(), what.c_str(), strerror(error)),
          job_hint};
}

void fill_identity_job(FecConfig *cfg) {
  memset(cfg, 0, sizeof(*cfg));
  cfg->header = FEC_CONFIG_HEADER;
  cfg->size = sizeof(FecConfig);
  cfg->width = cfg->out_width = job_width;
  cfg->height = cfg->out_height = job_height;
  cfg->pixelformat = cfg->out_pixelformat = nv12_fourcc;
  cfg->mesh_mode = FEC_MESH_MODE_ONLINE;
  // A lens centred on the picture; at level 0 the mesh is the identity whatever the lens.
  cfg->online.light_center[0] = job_width / 2;
  cfg->online.light_center[1] = job_height / 2;
  cfg->online.coeff[0] = -(double)job_width;
  cfg->online.calib_width = (int32_t)job_width;
  cfg->online.calib_height = (int32_t)job_height;
  cfg->online.calib_level_maxLimit = 200;
  cfg->online.correct_level = 0;
}

// Loads the library and runs one frame; the first step that fails ends the probe with its
// result. What was acquired is left in `p` for release_probe.
CheckResult probe_library(LibraryProbe *p) {
  p->library = dlopen(library_name, RTLD_NOW | RTLD_LOCAL);
  if (p->library == nullptr) return {VERDICT_FAIL, dlerror(), not_found_hint};
  struct link_map *map = nullptr;
  p->path = dlinfo(p->library, RTLD_DI_LINKMAP, &map) == 0 ? map->l_name : library_name;

  std::string missing;
  for (int op = 0; op < OP_COUNT; ++op) {
    p->operations[op] = dlsym(p->library, operation_names[op]);
    if (p->operations[op] == nullptr) {
      missing += missing.empty() ? "" : ", ";
      missing += operation_names[op];
    }
  }
  if (!missing.empty()) {
    return {VERDICT_FAIL, StringPrintf("%s lacks %s", p->path.c_str(), missing.c_str()),
            missing_operation_hint};
  }

  p->vb_handle = operation<decltype(&tq_lenswarp_api_vb_init)>(p, OP_VB_INIT)();
  if (p->vb_handle < 0) {
    int err = errno;
    return job_failure(p, "tq_lenswarp_api_vb_init", err);
  }
  auto vb_alloc = operation<decltype(&tq_lenswarp_api_vb_alloc)>(p, OP_VB_ALLOC);
  for (int i = 0; i < 2; ++i) {
    if (vb_alloc(p->vb_handle, job_picture_bytes, &p->buffers[i]) != 0) {
      int err = errno;
      return job_failure(p, StringPrintf("tq_lenswarp_api_vb_alloc of %u bytes", job_picture_bytes),
                         err);
    }
    p->allocated[i] = true;
  }

  FecConfig cfg;
  fill_identity_job(&cfg);
  p->context = operation<decltype(&tq_lenswarp_api_init)>(p, OP_INIT)(&cfg);
  if (p->context == nullptr) {
    int err = errno;
    return job_failure(
        p, StringPrintf("tq_lenswarp_api_init of a %ux%u identity job", job_width, job_height),
        err);
  }
  if (operation<decltype(&tq_lenswarp_api_process)>(p, OP_PROCESS)(p->context, p->buffers[0].fd,
                                                                   p->buffers[1].fd) != 0) {
    int err = errno;
    return job_failure(
        p, StringPrintf("tq_lenswarp_api_process of a %ux%u identity job", job_width, job_height),
        err);
  }
  return {VERDICT_OK,
          StringPrintf("%s: all %d operations found, a %ux%u identity job ran", p->path.c_str(),
                       (int)OP_COUNT, job_width, job_height),
          ""};
}

void release_probe(LibraryProbe *p) {
  if (p->context != nullptr) {
    operation<decltype(&tq_lenswarp_api_deinit)>(p, OP_DEINIT)(p->context);
  }
  auto vb_free = operation<decltype(&tq_lenswarp_api_vb_free)>(p, OP_VB_FREE);
  for (int i = 1; i >= 0; --i) {
    if (p->allocated[i]) vb_free(p->vb_handle, &p->buffers[i]);
  }
  if (p->vb_handle >= 0) {
    operation<decltype(&tq_lenswarp_api_vb_deinit)>(p, OP_VB_DEINIT)(p->vb_handle);
  }
  if (p->library != nullptr) dlclose(p->library);
}

}  // namespace

CheckResult check_fec_library() {
  LibraryProbe probe{};
  probe.vb_handle = -1;
  CheckResult result = probe_library(&probe);
  release_probe(&probe);
  return result;
}
