// libsocdrm-sim.so: preloaded into a process, it makes "/dev/dri/card0" a simulated SoC DRM
// device, so the real DRM back end (libdrm calls, ioctl, mmap, close) runs unchanged on a host.
//
// GEM objects are memfds. The driver-private create and map-offset commands, the core GEM close,
// the PRIME export and the driver's version are answered here and never reach the kernel (under
// qemu-user they could not be translated anyway). mmap of the device descriptor at an object's
// fake offset maps the object's memory; its exported DMA-buf descriptor is a duplicate of the
// same memfd, so a consumer that maps the descriptor sees what was written through the mapping.
//
// The state lives in constant-initialised tables under one mutex: the interposed calls may come
// before or after any constructor has run.
#include <dlfcn.h>
#include <drm.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/dma-buf.h>
#include <pthread.h>
#include <sim_buffer_names.h>
#include <soc_drm_ioctl.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <string>
#include <type_traits>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const char kLibraryBufferName[] = "/memfd:" LENSWARP_VB_MEMFD_NAME;  // the library's vb buffers
// Where the fake map offsets start: by default low enough to stay positive in a 32-bit off_t;
// with SOCDRM_MAP_OFFSETS=high at 4 GiB, as a 64-bit kernel's DRM core hands them out (also to a
// 32-bit process), so that a caller that cuts them to 32 bits cannot map anything.
constexpr uint64_t kLowOffsetBase = 0x10000000u;
constexpr uint64_t kHighOffsetBase = 0x100000000u;
constexpr int kMaxFds = 4096;
constexpr int kMaxObjects = 1024;
constexpr int kMaxMappings = 1024;

enum FdKind : uint8_t { FD_OTHER, FD_DEVICE, FD_DMABUF };

struct GemObject {
  bool live;  // created and not yet GEM-closed
  int memfd;
  uint64_t size;
};

struct Mapping {
  void *addr;
  size_t len;
};

// The fixed tables; what does not fit in one is not recorded, which the report must say.
enum Table { TABLE_FDS, TABLE_OBJECTS, TABLE_MAPPINGS, TABLE_COUNT };
struct TableInfo {
  const char *name;  // the report's key
  int entries;
  const char *consequence;
};
const TableInfo kTables[TABLE_COUNT] = {
    {"fds", kMaxFds, "descriptors from that number on are not followed"},
    {"objects", kMaxObjects, "GEM create fails with ENOSPC"},
    {"mappings", kMaxMappings, "further device mappings are not followed"},
};

enum Fault { FAULT_CREATE, FAULT_EXPORT, FAULT_MAP_OFFSET, FAULT_MMAP, FAULT_COUNT };
const char *const kFaultVariables[FAULT_COUNT] = {"SOCDRM_FAIL_CREATE", "SOCDRM_FAIL_EXPORT",
                                                  "SOCDRM_FAIL_MAP_OFFSET", "SOCDRM_FAIL_MMAP"};

struct Counters {
  unsigned device_opened, device_closed;
  unsigned objects_created, objects_closed;
  unsigned exported, exported_closed;
  unsigned mappings_made, mappings_unmapped, unmap_length_mismatches;
  unsigned sync_by_flags[8], sync_refused;
  unsigned faults_injected;
  unsigned calls[FAULT_COUNT];
  unsigned table_full[TABLE_COUNT];
};

// Recursive: the tables are updated while this library's own close() is called.
pthread_mutex_t state_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
FdKind fd_kind[kMaxFds];
GemObject objects[kMaxObjects];  // handle = index + 1
int object_count;
Mapping mappings[kMaxMappings];
Counters counters;

using OpenFn = int (*)(const char *, int, ...);
using OpenatFn = int (*)(int, const char *, int, ...);
using CloseFn = int (*)(int);
using IoctlFn = int (*)(int, unsigned long, ...);
// The plain mmap takes the C library's native offset, 32 bits on a 32-bit target whatever
// _FILE_OFFSET_BITS says; mmap64 always takes 64.
using MmapFn = void *(*)(void *, size_t, int, int, int, __off_t);
using Mmap64Fn = void *(*)(void *, size_t, int, int, int, __off64_t);
using MunmapFn = int (*)(void *, size_t);

// The definition an interposed call passes on to, looked up at its first use. These live at
// namespace scope, constant-initialised, rather than as function-local statics: ThreadSanitizer
// intercepts the guards of such statics, and its own start-up calls mmap, through here, before
// it can run those interceptors.
template <typename Fn>
class NextSymbol {
 public:
  explicit constexpr NextSymbol(const char *name) : mName(name) {}
  Fn get() {
    Fn fn = mFn.load(std::memory_order_acquire);
    if (fn == nullptr) {
      fn = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, mName));
      mFn.store(fn, std::memory_order_release);
    }
    return fn;
  }

 private:
  const char *mName;
  std::atomic<Fn> mFn{nullptr};
};

NextSymbol<OpenFn> real_open("open");
NextSymbol<OpenFn> real_open64("open64");
NextSymbol<OpenatFn> real_openat("openat");
NextSymbol<OpenatFn> real_openat64("openat64");
NextSymbol<CloseFn> real_close("close");
NextSymbol<IoctlFn> real_ioctl("ioctl");
// Only 32-bit targets have it; elsewhere time is 64-bit in the plain ioctl.
NextSymbol<IoctlFn> real_ioctl_time64("__ioctl_time64");
NextSymbol<MmapFn> real_mmap("mmap");
NextSymbol<Mmap64Fn> real_mmap64("mmap64");
NextSymbol<MunmapFn> real_munmap("munmap");

struct Guard {
  Guard() { pthread_mutex_lock(&state_lock); }
  ~Guard() { pthread_mutex_unlock(&state_lock); }
};

size_t page_round(size_t len) {
  size_t page = (size_t)sysconf(_SC_PAGESIZE);
  return (len + page - 1) / page * page;
}

bool env_flag(const char *name) {
  const char *v = getenv(name);
  return v != nullptr && *v != '\0' && strcmp(v, "0") != 0;
}

// Counts a call of kind `f`; true when this is the one that must fail.
bool inject_fault(Fault f) {
  unsigned n = ++counters.calls[f];
  const char *v = getenv(kFaultVariables[f]);
  if (v == nullptr || strtoul(v, nullptr, 10) != n) return false;
  ++counters.faults_injected;
  return true;
}

// Counts a record that did not fit in table `t`, and says so on standard error the first time:
// from then on the report's other counts miss what was not recorded.
void note_table_full(Table t) {
  if (counters.table_full[t]++ != 0) return;
  int err = errno;
  fprintf(stderr, "socdrm-sim: the %s table (%d entries) is full: %s\n", kTables[t].name,
          kTables[t].entries, kTables[t].consequence);
  errno = err;
}

FdKind kind_of(int fd) {
  return fd >= 0 && fd < kMaxFds ? fd_kind[fd] : FD_OTHER;
}

// kind_of for the calls that do not hold the state lock yet.
FdKind locked_kind_of(int fd) {
  Guard g;
  return kind_of(fd);
}

void set_kind(int fd, FdKind kind) {
  if (fd >= 0 && fd < kMaxFds) {
    fd_kind[fd] = kind;
  } else if (fd >= kMaxFds && kind != FD_OTHER) {
    note_table_full(TABLE_FDS);
  }
}

GemObject *object_for(uint32_t handle) {
  if (handle == 0 || handle > (uint32_t)object_count) return nullptr;
  GemObject *o = &objects[handle - 1];
  return o->live ? o : nullptr;
}

int fail(int err) {
  errno = err;
  return -1;
}

int open_device(int flags) {
  if (env_flag("SOCDRM_NO_DEVICE")) return fail(ENOENT);
  int fd = memfd_create("socdrm-card0", (flags & O_CLOEXEC) ? MFD_CLOEXEC : 0);
  if (fd < 0) return -1;
  Guard g;
  set_kind(fd, FD_DEVICE);
  ++counters.device_opened;
  return fd;
}

bool is_device_path(const char *path) {
  return path != nullptr && strcmp(path, SOC_DRM_DEVICE) == 0;
}

int gem_create(GemCreateRequest *arg) {
  Guard g;
  if (inject_fault(FAULT_CREATE)) return fail(ENOMEM);
  if (arg->size == 0 || arg->size > UINT32_MAX) return fail(EINVAL);
  if (object_count == kMaxObjects) {
    note_table_full(TABLE_OBJECTS);
    return fail(ENOSPC);
  }
  uint64_t size = page_round((size_t)arg->size);  // the driver works in whole pages
  int memfd = memfd_create("socdrm-gem", MFD_CLOEXEC);
  if (memfd < 0) return -1;
  if (ftruncate(memfd, (off_t)size) != 0) {
    int err = errno;
    close(memfd);
    return fail(err);
  }
  objects[object_count] = {true, memfd, size};
  arg->handle = (uint32_t)++object_count;
  arg->size = size;
  ++counters.objects_created;
  return 0;
}

uint64_t offset_base() {
  const char *v = getenv("SOCDRM_MAP_OFFSETS");
  if (v == nullptr || *v == '\0' || strcmp(v, "low") == 0) return kLowOffsetBase;
  if (strcmp(v, "high") == 0) return kHighOffsetBase;
  static std::atomic<bool> warned{false};
  if (!warned.exchange(true)) {
    int err = errno;
    fprintf(stderr, "socdrm-sim: SOCDRM_MAP_OFFSETS=%s is neither low nor high: offsets stay low\n",
            v);
    errno = err;
  }
  return kLowOffsetBase;
}

// The fake offset of the object with `handle`: one page apart, so no two objects share one.
uint64_t object_offset(uint32_t handle) {
  return offset_base() + (uint64_t)handle * (uint64_t)sysconf(_SC_PAGESIZE);
}

int gem_map_offset(GemMapOffsetRequest *arg) {
  Guard g;
  if (inject_fault(FAULT_MAP_OFFSET)) return fail(ENOMEM);
  if (object_for(arg->handle) == nullptr) return fail(ENOENT);
  arg->offset = object_offset(arg->handle);
  return 0;
}

int gem_close(drm_gem_close *arg) {
  Guard g;
  GemObject *o = object_for(arg->handle);
  if (o == nullptr) return fail(EINVAL);
  // Mappings and exported descriptors keep the memory alive, as with a real driver.
  close(o->memfd);
  o->live = false;
  ++counters.objects_closed;
  return 0;
}

int prime_export(drm_prime_handle *arg) {
  Guard g;
  if (inject_fault(FAULT_EXPORT)) return fail(ENOMEM);
  GemObject *o = object_for(arg->handle);
  if (o == nullptr) return fail(ENOENT);
  int fd = fcntl(o->memfd, (arg->flags & DRM_CLOEXEC) ? F_DUPFD_CLOEXEC : F_DUPFD, 0);
  if (fd < 0) return -1;
  set_kind(fd, FD_DMABUF);
  arg->fd = fd;
  ++counters.exported;
  return 0;
}

// The driver's identity, as drmGetVersion reads it.
const char kDriverName[] = "socdrm-sim";
const char kDriverDate[] = "20260101";
const char kDriverDescription[] = "Simulated SoC DRM device";

// As the kernel does: the text goes into the caller's buffer up to its length, without a
// terminator, and the length becomes the text's whole length.
void copy_version_text(const char *text, __kernel_size_t *len, char *buf) {
  size_t whole = strlen(text);
  if (buf != nullptr) memcpy(buf, text, whole < *len ? whole : *len);
  *len = whole;
}

int driver_version(drm_version *arg) {
  arg->version_major = 1;
  arg->version_minor = 0;
  arg->version_patchlevel = 0;
  copy_version_text(kDriverName, &arg->name_len, arg->name);
  copy_version_text(kDriverDate, &arg->date_len, arg->date);
  copy_version_text(kDriverDescription, &arg->desc_len, arg->desc);
  return 0;
}

bool is_library_buffer(int fd) {
  char link[64];
  char proc[32];
  snprintf(proc, sizeof(proc), "/proc/self/fd/%d", fd);
  ssize_t n = readlink(proc, link, sizeof(link) - 1);
  if (n <= 0) return false;
  link[n] = '\0';
  return strncmp(link, kLibraryBufferName, sizeof(kLibraryBufferName) - 1) == 0;
}

int count_sync(const struct dma_buf_sync *arg) {
  Guard g;
  uint64_t flags = arg->flags;
  if ((flags & ~(uint64_t)DMA_BUF_SYNC_VALID_FLAGS_MASK) != 0 || (flags & DMA_BUF_SYNC_RW) == 0) {
    ++counters.sync_refused;
    return fail(EINVAL);
  }
  ++counters.sync_by_flags[flags];
  return 0;
}

int device_ioctl(unsigned long request, void *arg) {
  if (arg == nullptr) return fail(EFAULT);
  switch (request) {
    case GEM_CREATE_REQUEST:
      return gem_create(static_cast<GemCreateRequest *>(arg));
    case GEM_MAP_OFFSET_REQUEST:
      return gem_map_offset(static_cast<GemMapOffsetRequest *>(arg));
    case DRM_IOCTL_GEM_CLOSE:
      return gem_close(static_cast<drm_gem_close *>(arg));
    case DRM_IOCTL_PRIME_HANDLE_TO_FD:
      return prime_export(static_cast<drm_prime_handle *>(arg));
    case DRM_IOCTL_VERSION:
      return driver_version(static_cast<drm_version *>(arg));
    default:
      return fail(ENOTTY);
  }
}

void *map_device(void *addr, size_t len, int prot, int flags, uint64_t offset) {
  Guard g;
  if (inject_fault(FAULT_MMAP)) {
    errno = ENOMEM;
    return MAP_FAILED;
  }
  GemObject *o = nullptr;
  for (int i = 0; i < object_count; ++i) {
    if (object_offset((uint32_t)(i + 1)) == offset && objects[i].live) o = &objects[i];
  }
  if (o == nullptr || len == 0 || page_round(len) > o->size) {
    errno = EINVAL;
    return MAP_FAILED;
  }
  void *p = real_mmap64.get()(addr, len, prot, flags, o->memfd, 0);
  if (p == MAP_FAILED) return p;
  Mapping *slot = nullptr;
  for (int i = 0; i < kMaxMappings && slot == nullptr; ++i) {
    if (mappings[i].addr == nullptr) slot = &mappings[i];
  }
  if (slot != nullptr) {
    *slot = {p, len};
  } else {
    note_table_full(TABLE_MAPPINGS);
  }
  ++counters.mappings_made;
  return p;
}

void note_unmap(void *addr, size_t len) {
  Guard g;
  for (Mapping &m : mappings) {
    if (m.addr != addr) continue;
    if (page_round(len) == page_round(m.len)) {
      ++counters.mappings_unmapped;
    } else {
      ++counters.unmap_length_mismatches;
    }
    m.addr = nullptr;
    return;
  }
}

// Returns whether `fd` was the device.
bool note_close(int fd) {
  Guard g;
  FdKind kind = kind_of(fd);
  if (kind == FD_DEVICE) ++counters.device_closed;
  if (kind == FD_DMABUF) ++counters.exported_closed;
  set_kind(fd, FD_OTHER);
  return kind == FD_DEVICE;
}

// Everything but the device goes on to `next`, the C library's call of the same name.
int open_with(NextSymbol<OpenFn> &next, const char *path, int flags, mode_t mode) {
  if (is_device_path(path)) return open_device(flags);
  return next.get()(path, flags, mode);
}

int openat_with(NextSymbol<OpenatFn> &next, int dirfd, const char *path, int flags, mode_t mode) {
  if (is_device_path(path)) return open_device(flags);
  return next.get()(dirfd, path, flags, mode);
}

mode_t mode_argument(int flags, va_list ap) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;
}

// The report: what the device made and what was given back. Written when the device is closed
// and again at exit, so a process that ends by a signal after its teardown still leaves one.
void write_report() {
  const char *path = getenv("SOCDRM_REPORT");
  if (path == nullptr || *path == '\0') return;
  Guard g;
  unsigned live_mappings = 0;
  for (const Mapping &m : mappings) live_mappings += m.addr != nullptr;
  const Counters &c = counters;
  // In today's order of keys, which readers of the report may rely on.
  nlohmann::ordered_json report = {{"device_opened", c.device_opened},
                                   {"device_closed", c.device_closed},
                                   {"objects_created", c.objects_created},
                                   {"objects_closed", c.objects_closed},
                                   {"mappings_made", c.mappings_made},
                                   {"mappings_unmapped", c.mappings_unmapped},
                                   {"unmap_length_mismatches", c.unmap_length_mismatches},
                                   {"mappings_live", live_mappings},
                                   {"exported", c.exported},
                                   {"exported_closed", c.exported_closed},
                                   {"sync",
                                    {{"1", c.sync_by_flags[1]},
                                     {"2", c.sync_by_flags[2]},
                                     {"5", c.sync_by_flags[5]},
                                     {"6", c.sync_by_flags[6]}}},
                                   {"sync_refused", c.sync_refused},
                                   {"faults_injected", c.faults_injected},
                                   {"table_full",
                                    {{"fds", c.table_full[TABLE_FDS]},
                                     {"objects", c.table_full[TABLE_OBJECTS]},
                                     {"mappings", c.table_full[TABLE_MAPPINGS]}}}};
  const std::string text = report.dump() + "\n";
  FILE *f = fopen(path, "w");
  if (f == nullptr) return;
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
}

__attribute__((destructor)) void write_report_at_exit() {
  write_report();
}

}  // namespace

// Built with 64-bit offsets and time, as everything here is, the C library's headers would turn
// definitions of open and mmap into open64 and mmap64, and on a 32-bit target ioctl into
// __ioctl_time64. Callers built either way must reach the device (Debian 12's libdrm for armhf
// calls the plain ioctl), so every entry point is defined under its own assembler name.
extern "C" {
EXPORT int socdrm_open(const char *path, int flags, ...) __asm__("open");
EXPORT int socdrm_open64(const char *path, int flags, ...) __asm__("open64");
EXPORT int socdrm_openat(int dirfd, const char *path, int flags, ...) __asm__("openat");
EXPORT int socdrm_openat64(int dirfd, const char *path, int flags, ...) __asm__("openat64");
EXPORT int socdrm_close(int fd) __asm__("close");
EXPORT int socdrm_ioctl(int fd, unsigned long request, ...) __asm__("ioctl");
EXPORT int socdrm_ioctl_time64(int fd, unsigned long request, ...) __asm__("__ioctl_time64");
EXPORT void *socdrm_mmap(void *addr, size_t len, int prot, int flags, int fd,
                         __off_t offset) __asm__("mmap");
EXPORT void *socdrm_mmap64(void *addr, size_t len, int prot, int flags, int fd,
                           __off64_t offset) __asm__("mmap64");
EXPORT int socdrm_munmap(void *addr, size_t len) __asm__("munmap");
}

namespace {

int device_or_next_ioctl(NextSymbol<IoctlFn> &next, int fd, unsigned long request, void *arg) {
  FdKind kind = locked_kind_of(fd);
  if (kind == FD_DEVICE) return device_ioctl(request, arg);
  if (request == DMA_BUF_IOCTL_SYNC && (kind == FD_DMABUF || is_library_buffer(fd))) {
    return count_sync(static_cast<const struct dma_buf_sync *>(arg));
  }
  IoctlFn fn = next.get();
  if (fn == nullptr) fn = real_ioctl.get();
  return fn(fd, request, arg);
}

}  // namespace

int socdrm_open(const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = mode_argument(flags, ap);
  va_end(ap);
  return open_with(real_open, path, flags, mode);
}

int socdrm_open64(const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = mode_argument(flags, ap);
  va_end(ap);
  return open_with(real_open64, path, flags, mode);
}

int socdrm_openat(int dirfd, const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = mode_argument(flags, ap);
  va_end(ap);
  return openat_with(real_openat, dirfd, path, flags, mode);
}

int socdrm_openat64(int dirfd, const char *path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = mode_argument(flags, ap);
  va_end(ap);
  return openat_with(real_openat64, dirfd, path, flags, mode);
}

int socdrm_close(int fd) {
  bool device = note_close(fd);
  int ret = real_close.get()(fd);
  int err = errno;
  if (device) write_report();
  errno = err;
  return ret;
}

int socdrm_ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void *arg = va_arg(ap, void *);
  va_end(ap);
  return device_or_next_ioctl(real_ioctl, fd, request, arg);
}

int socdrm_ioctl_time64(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void *arg = va_arg(ap, void *);
  va_end(ap);
  return device_or_next_ioctl(real_ioctl_time64, fd, request, arg);
}

void *socdrm_mmap(void *addr, size_t len, int prot, int flags, int fd, __off_t offset) {
  // A negative 32-bit offset is an offset above 2 GiB, as the kernel takes it.
  if (locked_kind_of(fd) == FD_DEVICE) {
    return map_device(addr, len, prot, flags, (uint64_t)(std::make_unsigned_t<__off_t>)offset);
  }
  return real_mmap.get()(addr, len, prot, flags, fd, offset);
}

void *socdrm_mmap64(void *addr, size_t len, int prot, int flags, int fd, __off64_t offset) {
  if (locked_kind_of(fd) == FD_DEVICE) return map_device(addr, len, prot, flags, (uint64_t)offset);
  return real_mmap64.get()(addr, len, prot, flags, fd, offset);
}

int socdrm_munmap(void *addr, size_t len) {
  note_unmap(addr, len);
  return real_munmap.get()(addr, len);
}
