#include <drm.h>
#include <errno.h>
#include <fcntl.h>
#include <soc_drm_ioctl.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xf86drm.h>

#include "checks.h"
#include "tool_text.h"

namespace {

// What to do when the device does not open, by the reason it gives.
struct OpenFailureHint {
  int error;  // 0: any other
  const char *hint;
};

const char permission_hint[] = "run as root, or as a member of the group that owns " SOC_DRM_DEVICE
                               " (ls -l " SOC_DRM_DEVICE "; usually video)";

const OpenFailureHint open_failure_hints[] = {
    {ENOENT,
     "load the SoC's DRM driver, which makes the device node when it binds (see dmesg and "
     "lsmod); on a development host, run under the simulated device: socsim camtools-check"},
    {EACCES, permission_hint},
    {EPERM, permission_hint},
    {0, "the driver refused the open: see its messages in dmesg"},
};

const char not_drm_hint[] = SOC_DRM_DEVICE
    " is no DRM device: see which driver made it "
    "(ls -l /sys/class/drm/card0/device/driver) and its messages in dmesg";

const char gem_hint[] =
    "card0 must belong to the SoC's own DRM driver, whose GEM create and map-offset commands "
    "warpbench uses (see ls -l /sys/class/drm/card0/device/driver and dmesg); when it is out of "
    "memory, its buffer area (CMA) is short: free some, or enlarge it with cma= on the kernel "
    "command line";

const char export_hint[] =
    "card0's driver must export GEM objects as DMA-bufs (PRIME), which warpbench hands to the FEC "
    "library: see which driver it is (ls -l /sys/class/drm/card0/device/driver) and its messages "
    "in dmesg; when it is out of memory, its buffer area (CMA) is short: free some, or enlarge it "
    "with cma= on the kernel command line";

const char *open_failure_hint(int error) {
  const OpenFailureHint *h = open_failure_hints;
  while (h->error != 0 && h->error != error) ++h;
  return h->hint;
}

// What the check holds of the device; -1, null or false for what it does not hold.
struct DrmProbe {
  int fd;
  drmVersionPtr version;
  bool object_made;
  uint32_t handle;
  int dma_buf_fd;  // the object exported
};

// One failed step with the driver's objects: `what` failed with `error`.
CheckResult gem_failure(const DrmProbe *p, const std::string &what, int error,
                        const char *hint = gem_hint) {
  return {VERDICT_FAIL,
          string_printf("%s: driver %s; %s failed: %s", SOC_DRM_DEVICE, p->version->name,
                        what.c_str(), strerror(error)),
          hint};
}

// The steps of warpbench's allocation and release, in its order; the first that fails ends the
// probe with its result. What was acquired is left in `p` for release_probe.
CheckResult probe_device(DrmProbe *p) {
  p->fd = open(SOC_DRM_DEVICE, O_RDWR | O_CLOEXEC);
  if (p->fd < 0) {
    int err = errno;
    return {VERDICT_FAIL, string_printf("%s: %s", SOC_DRM_DEVICE, strerror(err)),
            open_failure_hint(err)};
  }
  p->version = drmGetVersion(p->fd);
  if (p->version == nullptr) {
    int err = errno;
    return {VERDICT_FAIL,
            string_printf("%s: no DRM device (drmGetVersion: %s)", SOC_DRM_DEVICE, strerror(err)),
            not_drm_hint};
  }

  const size_t page = (size_t)sysconf(_SC_PAGESIZE);
  GemCreateRequest create = {page, 0, 0};
  if (drmIoctl(p->fd, GEM_CREATE_REQUEST, &create) != 0) {
    int err = errno;
    return gem_failure(
        p, string_printf("GEM create of one page (command 0x%08X)", GEM_CREATE_REQUEST), err);
  }
  p->object_made = true;
  p->handle = create.handle;

  // With warpbench's flags, so that a driver that refuses them fails here too.
  if (drmPrimeHandleToFD(p->fd, p->handle, 0, &p->dma_buf_fd) != 0) {
    int err = errno;
    p->dma_buf_fd = -1;
    return gem_failure(p, "PRIME export of the GEM object as a DMA-buf", err, export_hint);
  }

  GemMapOffsetRequest where = {create.handle, 0, 0};
  if (drmIoctl(p->fd, GEM_MAP_OFFSET_REQUEST, &where) != 0) {
    int err = errno;
    return gem_failure(p, string_printf("GEM map offset (command 0x%08X)", GEM_MAP_OFFSET_REQUEST),
                       err);
  }
  void *map = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_SHARED, p->fd, (off_t)where.offset);
  if (map == MAP_FAILED) {
    int err = errno;
    return gem_failure(p, "mmap of the GEM object", err);
  }
  munmap(map, page);
  close(p->dma_buf_fd);
  p->dma_buf_fd = -1;

  drm_gem_close gem_close = {};
  gem_close.handle = p->handle;
  p->object_made = false;  // a refused close leaves nothing to try again
  if (drmIoctl(p->fd, DRM_IOCTL_GEM_CLOSE, &gem_close) != 0) {
    int err = errno;
    return gem_failure(p, "GEM close", err);
  }
  return {VERDICT_OK,
          string_printf(
              "%s: driver %s %d.%d.%d (%s), GEM create, PRIME export, map offset and mmap work",
              SOC_DRM_DEVICE, p->version->name, p->version->version_major,
              p->version->version_minor, p->version->version_patchlevel, p->version->desc),
          ""};
}

void release_probe(DrmProbe *p) {
  if (p->dma_buf_fd >= 0) close(p->dma_buf_fd);
  if (p->object_made) {
    drm_gem_close gem_close = {};
    gem_close.handle = p->handle;
    drmIoctl(p->fd, DRM_IOCTL_GEM_CLOSE, &gem_close);
  }
  if (p->version != nullptr) drmFreeVersion(p->version);
  if (p->fd >= 0) close(p->fd);
}

}  // namespace

CheckResult check_drm_device() {
  DrmProbe probe = {-1, nullptr, false, 0, -1};
  CheckResult result = probe_device(&probe);
  release_probe(&probe);
  return result;
}
