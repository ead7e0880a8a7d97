// The records and operations of the maker's FEC library, libLenswarp.so.
//
// The records cross into the library by address, so on the 32-bit target their layout is fixed
// byte for byte (little-endian, 4-byte pointers and int, doubles on 8-byte boundaries). Address
// fields are pointer-sized, so a 64-bit host build stays correct; its layout then differs.
#ifndef WARPBENCH_LENSWARP_API_H
#define WARPBENCH_LENSWARP_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FEC_CONFIG_HEADER 0x00040004u

// FecConfig.mesh_mode
#define FEC_MESH_MODE_ONLINE 0u
#define FEC_MESH_MODE_FILE 1u
#define FEC_MESH_MODE_INI 3u

// FecMeshConfig.mode
#define FEC_MESH_CFG_ONLINE 0u
#define FEC_MESH_CFG_FILE 1u
#define FEC_MESH_CFG_MEMORY 2u

// Online correction parameters, as read from a calibration INI file.
typedef struct FecOnlineConfig {
  double light_center[2];
  double coeff[4];
  int32_t direction;
  int32_t style;
  int32_t correct_level;
  int32_t calib_width;
  int32_t calib_height;
  int32_t calib_level_maxLimit;
} FecOnlineConfig;

// One correction job.
typedef struct FecConfig {
  uint32_t header;
  uint32_t size;
  uint32_t width;
  uint32_t height;
  uint32_t out_width;
  uint32_t out_height;
  uint32_t pixelformat;
  uint32_t out_pixelformat;
  int32_t border_mode;
  int32_t cross_buf_mode;
  uint32_t bg_y;
  uint32_t bg_u;
  uint32_t bg_v;
  int32_t mesh_fd;
  uintptr_t mesh_vaddr;
  uint32_t mesh_size;
  char mesh_name[64];
  uint32_t mesh_mode;
  uint32_t reserved;
  union {
    FecOnlineConfig online;  // mesh_mode 0
    char mesh_dir[128];      // mesh_mode 1
  };
  int32_t offset_x;
  int32_t out_offset_x;
  int32_t stride;
  int32_t out_stride;
  char ini_path[128];  // mesh_mode 3
} FecConfig;

// Where the engine takes its mesh from at run time.
typedef struct FecMeshConfig {
  uint32_t mode;
  uint32_t reserved;
  union {
    FecOnlineConfig online_config;  // mode 0
    char path[256];                 // mode 1
    struct {                        // mode 2
      int32_t dma_fd;
      uintptr_t vaddr;
      uint32_t size;
      uint8_t use_vaddr;  // 1: take the mesh from vaddr, 0: from dma_fd
    };
  };
} FecMeshConfig;

// One DMA buffer; the library's allocator fills the same record.
typedef struct DmaBuffer {
  uint32_t handle;
  int32_t fd;
  int64_t size;
  void *vaddr;
} __attribute__((aligned(8))) DmaBuffer;

// The library context; 0 (null) means failure.
typedef void *FecContext;

// Results are 0 for success unless stated; on failure errno describes it.
int tq_lenswarp_api_load_online_config_from_ini(const char *ini_path, FecOnlineConfig *cfg);
FecContext tq_lenswarp_api_init(FecConfig *cfg);
int tq_lenswarp_api_process(FecContext ctx, int in_fd, int out_fd);
int tq_lenswarp_api_deinit(FecContext ctx);
int tq_lenswarp_api_get_cfg(FecContext ctx, FecConfig *cfg);
int tq_lenswarp_api_set_cfg(FecContext ctx, FecConfig *cfg);
int tq_lenswarp_api_get_mesh_config(FecContext ctx, FecMeshConfig *mesh_cfg);
int tq_lenswarp_api_set_mesh_config(FecContext ctx, FecMeshConfig *mesh_cfg);
// The mesh point count n for an output of width x height; a mesh is 6 * n bytes.
int tq_lenswarp_api_calFecMeshsize(int out_width, int out_height);
// The library's own DMA buffer allocator: handle >= 0, or negative on failure.
int tq_lenswarp_api_vb_init(void);
int tq_lenswarp_api_vb_alloc(int handle, uint32_t size, DmaBuffer *buf);
int tq_lenswarp_api_vb_free(int handle, DmaBuffer *buf);
int tq_lenswarp_api_vb_deinit(int handle);

#ifdef __cplusplus
}  // extern "C"
#endif

#ifdef __cplusplus
// The layout the library expects on the 32-bit target.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(FecOnlineConfig) == 72, "FecOnlineConfig size");
static_assert(offsetof(FecOnlineConfig, light_center) == 0, "light_center");
static_assert(offsetof(FecOnlineConfig, coeff) == 16, "coeff");
static_assert(offsetof(FecOnlineConfig, direction) == 48, "direction");
static_assert(offsetof(FecOnlineConfig, style) == 52, "style");
static_assert(offsetof(FecOnlineConfig, correct_level) == 56, "correct_level");
static_assert(offsetof(FecOnlineConfig, calib_width) == 60, "calib_width");
static_assert(offsetof(FecOnlineConfig, calib_height) == 64, "calib_height");
static_assert(offsetof(FecOnlineConfig, calib_level_maxLimit) == 68, "calib_level_maxLimit");

static_assert(sizeof(FecConfig) == 408, "FecConfig size");
static_assert(offsetof(FecConfig, header) == 0, "header");
static_assert(offsetof(FecConfig, size) == 4, "size");
static_assert(offsetof(FecConfig, width) == 8, "width");
static_assert(offsetof(FecConfig, height) == 12, "height");
static_assert(offsetof(FecConfig, out_width) == 16, "out_width");
static_assert(offsetof(FecConfig, out_height) == 20, "out_height");
static_assert(offsetof(FecConfig, pixelformat) == 24, "pixelformat");
static_assert(offsetof(FecConfig, out_pixelformat) == 28, "out_pixelformat");
static_assert(offsetof(FecConfig, border_mode) == 32, "border_mode");
static_assert(offsetof(FecConfig, cross_buf_mode) == 36, "cross_buf_mode");
static_assert(offsetof(FecConfig, bg_y) == 40, "bg_y");
static_assert(offsetof(FecConfig, bg_u) == 44, "bg_u");
static_assert(offsetof(FecConfig, bg_v) == 48, "bg_v");
static_assert(offsetof(FecConfig, mesh_fd) == 52, "mesh_fd");
static_assert(offsetof(FecConfig, mesh_vaddr) == 56, "mesh_vaddr");
static_assert(offsetof(FecConfig, mesh_size) == 60, "mesh_size");
static_assert(offsetof(FecConfig, mesh_name) == 64, "mesh_name");
static_assert(offsetof(FecConfig, mesh_mode) == 128, "mesh_mode");
static_assert(offsetof(FecConfig, reserved) == 132, "reserved");
static_assert(offsetof(FecConfig, online) == 136, "online");
static_assert(offsetof(FecConfig, mesh_dir) == 136, "mesh_dir");
static_assert(offsetof(FecConfig, offset_x) == 264, "offset_x");
static_assert(offsetof(FecConfig, out_offset_x) == 268, "out_offset_x");
static_assert(offsetof(FecConfig, stride) == 272, "stride");
static_assert(offsetof(FecConfig, out_stride) == 276, "out_stride");
static_assert(offsetof(FecConfig, ini_path) == 280, "ini_path");

static_assert(sizeof(FecMeshConfig) == 264, "FecMeshConfig size");
static_assert(offsetof(FecMeshConfig, mode) == 0, "mode");
static_assert(offsetof(FecMeshConfig, online_config) == 8, "online_config");
static_assert(offsetof(FecMeshConfig, path) == 8, "path");
static_assert(offsetof(FecMeshConfig, dma_fd) == 8, "dma_fd");
static_assert(offsetof(FecMeshConfig, vaddr) == 12, "vaddr");
static_assert(offsetof(FecMeshConfig, size) == 16, "mesh size");
static_assert(offsetof(FecMeshConfig, use_vaddr) == 20, "use_vaddr");

static_assert(sizeof(DmaBuffer) == 24 && alignof(DmaBuffer) == 8, "DmaBuffer size");
static_assert(offsetof(DmaBuffer, handle) == 0, "handle");
static_assert(offsetof(DmaBuffer, fd) == 4, "fd");
static_assert(offsetof(DmaBuffer, size) == 8, "buffer size");
static_assert(offsetof(DmaBuffer, vaddr) == 16, "vaddr");
#endif
#endif

#endif  // WARPBENCH_LENSWARP_API_H
