// The SoC DRM driver's private commands on "/dev/dri/card0": GEM create and GEM map offset, with
// their argument records. warpbench issues them; the simulated device answers them.
#ifndef SOC_DRM_IOCTL_H
#define SOC_DRM_IOCTL_H

#include <drm.h>
#include <stdint.h>

#define SOC_DRM_DEVICE "/dev/dri/card0"

// Argument of the driver's private command 0.
struct GemCreateRequest {
  uint64_t size;  // in; the driver may enlarge it
  uint32_t flags;
  uint32_t handle;  // out
};

// Argument of the driver's private command 1.
struct GemMapOffsetRequest {
  uint32_t handle;
  uint32_t pad;
  uint64_t offset;  // out: where the object maps through the device descriptor
};

#define GEM_CREATE_REQUEST 0xC0106440u      // driver command 0, read/write
#define GEM_MAP_OFFSET_REQUEST 0xC0106441u  // driver command 1, read/write

static_assert(sizeof(GemCreateRequest) == 16, "GemCreateRequest layout");
static_assert(sizeof(GemMapOffsetRequest) == 16, "GemMapOffsetRequest layout");
static_assert(GEM_CREATE_REQUEST == DRM_IOWR(DRM_COMMAND_BASE + 0, struct GemCreateRequest),
              "GEM create request code");
static_assert(GEM_MAP_OFFSET_REQUEST == DRM_IOWR(DRM_COMMAND_BASE + 1, struct GemMapOffsetRequest),
              "GEM map offset request code");

#endif  // SOC_DRM_IOCTL_H
