#include <dlfcn.h>
#include <errno.h>
#include <lenswarp_api.h>
#include <link.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "checks.h"
#include "pixel_formats.h"
#include "probe_process.h"
#include "tool_text.h"

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
const uint32_t job_picture_bytes = (uint32_t)nv12_frame_bytes(job_width, job_height);

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
const char hang_hint[] =
    "the library did not return, and warpbench would wait on it for ever: check that the FEC "
    "engine's kernel driver is loaded and responds, and its messages in dmesg; a library from "
    "another SDK release than the kernel can hang this way";
const char ended_hint[] =
    "the library ended the process that called it, as it would end warpbench: see its messages "
    "on standard error and in dmesg; a library from another SDK release than the kernel can fail "
    "this way";
const char no_process_hint[] =
    "the system could not start a process for the probe: see the free memory (free) and the "
    "user's process limit (ulimit -u)";

// A library that neither answers nor fails in this time is reported as hanging; the small job
// takes a fraction of a second, even under an emulator.
const unsigned int probe_limit_s = 10;

// What the probe's process tells camtools-check, as records of a kind letter, a text and a zero
// byte: the step it is about to take (the last one names where it stopped), then the result.
enum RecordKind : char {
  RECORD_STEP = 'S',
  RECORD_DETAIL = 'D',
  RECORD_HINT = 'H',
  RECORD_VERDICT = 'V',  // the last one: a digit
};

// The library and what the check holds of it; -1, null or false for what it does not hold.
struct LibraryProbe {
  int report_fd;  // to camtools-check
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
          string_printf("%s: %s failed: %s", p->path.c_str(), what.c_str(), strerror(error)),
          job_hint};
}

void send_record(int fd, RecordKind kind, const std::string &text) {
  std::string record = (char)kind + text;
  record += '\0';
  for (size_t sent = 0; sent < record.size();) {
    ssize_t n = write(fd, record.data() + sent, record.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // camtools-check is gone
    sent += (size_t)n;
  }
}

// The step `what` is under way, in the library found or, before it is, the name looked for.
void begin_step(const LibraryProbe *p, const std::string &what) {
  send_record(p->report_fd, RECORD_STEP,
              (p->path.empty() ? library_name : p->path.c_str()) + (": " + what));
}

void fill_identity_job(FecConfig *cfg) {
  memset(cfg, 0, sizeof(*cfg));
  cfg->header = FEC_CONFIG_HEADER;
  cfg->size = sizeof(FecConfig);
  cfg->width = cfg->out_width = job_width;
  cfg->height = cfg->out_height = job_height;
  cfg->pixelformat = cfg->out_pixelformat = DRM_FORMAT_NV12;
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
  begin_step(p, "dlopen");
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
    return {VERDICT_FAIL, string_printf("%s lacks %s", p->path.c_str(), missing.c_str()),
            missing_operation_hint};
  }

  begin_step(p, "tq_lenswarp_api_vb_init");
  p->vb_handle = operation<decltype(&tq_lenswarp_api_vb_init)>(p, OP_VB_INIT)();
  if (p->vb_handle < 0) {
    int err = errno;
    return job_failure(p, "tq_lenswarp_api_vb_init", err);
  }
  auto vb_alloc = operation<decltype(&tq_lenswarp_api_vb_alloc)>(p, OP_VB_ALLOC);
  const std::string alloc_step =
      string_printf("tq_lenswarp_api_vb_alloc of %u bytes", job_picture_bytes);
  for (int i = 0; i < 2; ++i) {
    begin_step(p, alloc_step);
    if (vb_alloc(p->vb_handle, job_picture_bytes, &p->buffers[i]) != 0) {
      int err = errno;
      return job_failure(p, alloc_step, err);
    }
    p->allocated[i] = true;
  }

  FecConfig cfg;
  fill_identity_job(&cfg);
  const std::string init_step =
      string_printf("tq_lenswarp_api_init of a %ux%u identity job", job_width, job_height);
  begin_step(p, init_step);
  p->context = operation<decltype(&tq_lenswarp_api_init)>(p, OP_INIT)(&cfg);
  if (p->context == nullptr) {
    int err = errno;
    return job_failure(p, init_step, err);
  }
  const std::string process_step =
      string_printf("tq_lenswarp_api_process of a %ux%u identity job", job_width, job_height);
  begin_step(p, process_step);
  if (operation<decltype(&tq_lenswarp_api_process)>(p, OP_PROCESS)(p->context, p->buffers[0].fd,
                                                                   p->buffers[1].fd) != 0) {
    int err = errno;
    return job_failure(p, process_step, err);
  }
  return {VERDICT_OK,
          string_printf("%s: all %d operations found, a %ux%u identity job ran", p->path.c_str(),
                        (int)OP_COUNT, job_width, job_height),
          ""};
}

void release_probe(LibraryProbe *p) {
  if (p->context != nullptr) {
    begin_step(p, "tq_lenswarp_api_deinit");
    operation<decltype(&tq_lenswarp_api_deinit)>(p, OP_DEINIT)(p->context);
  }
  auto vb_free = operation<decltype(&tq_lenswarp_api_vb_free)>(p, OP_VB_FREE);
  for (int i = 1; i >= 0; --i) {
    if (!p->allocated[i]) continue;
    begin_step(p, "tq_lenswarp_api_vb_free");
    vb_free(p->vb_handle, &p->buffers[i]);
  }
  if (p->vb_handle >= 0) {
    begin_step(p, "tq_lenswarp_api_vb_deinit");
    operation<decltype(&tq_lenswarp_api_vb_deinit)>(p, OP_VB_DEINIT)(p->vb_handle);
  }
  if (p->library != nullptr) {
    begin_step(p, "dlclose");
    dlclose(p->library);
  }
}

// In the probe's process: the whole probe, then its result.
void probe_in_child(int report_fd) {
  LibraryProbe probe{};
  probe.report_fd = report_fd;
  probe.vb_handle = -1;
  CheckResult result = probe_library(&probe);
  release_probe(&probe);
  send_record(report_fd, RECORD_DETAIL, result.detail);
  send_record(report_fd, RECORD_HINT, result.hint);
  send_record(report_fd, RECORD_VERDICT, std::string(1, (char)('0' + result.verdict)));
}

// What the probe's process said: the last step begun, and its result when it got that far.
struct ProbeReport {
  std::string step;
  bool complete;
  CheckResult result;
};

ProbeReport read_records(const std::string &sent) {
  ProbeReport report = {"", false, {VERDICT_FAIL, "", ""}};
  for (size_t at = 0; at < sent.size();) {
    size_t end = sent.find('\0', at);
    if (end == std::string::npos) break;  // cut off by the process's end
    const std::string text = sent.substr(at + 1, end - at - 1);
    switch (sent[at]) {
      case RECORD_STEP:
        report.step = text;
        break;
      case RECORD_DETAIL:
        report.result.detail = text;
        break;
      case RECORD_HINT:
        report.result.hint = text;
        break;
      case RECORD_VERDICT:
        report.result.verdict = text == "0" ? VERDICT_OK : VERDICT_FAIL;
        report.complete = true;
        break;
    }
    at = end + 1;
  }
  return report;
}

}  // namespace

CheckResult check_fec_library() {
  // The library's code runs in a process of its own: whatever it does, the other checks run and
  // the report is printed.
  ProbeEnd end = run_probe_process(probe_in_child, probe_limit_s);
  if (end.start_error != 0) {
    return {
        VERDICT_FAIL,
        string_printf("%s: no process for the probe: %s", library_name, strerror(end.start_error)),
        no_process_hint};
  }
  ProbeReport report = read_records(end.sent);
  if (report.step.empty()) report.step = string_printf("%s: the probe", library_name);
  if (end.timed_out) {
    return {VERDICT_FAIL,
            string_printf("%s did not return within %u s", report.step.c_str(), probe_limit_s),
            hang_hint};
  }
  if (WIFSIGNALED(end.status)) {
    int signo = WTERMSIG(end.status);
    return {VERDICT_FAIL,
            string_printf("%s ended the process by signal %d (%s)", report.step.c_str(), signo,
                          strsignal(signo)),
            ended_hint};
  }
  if (!report.complete || !WIFEXITED(end.status) || WEXITSTATUS(end.status) != 0) {
    return {VERDICT_FAIL,
            string_printf("%s ended the process with status %d", report.step.c_str(),
                          WIFEXITED(end.status) ? WEXITSTATUS(end.status) : -1),
            ended_hint};
  }
  return report.result;
}
