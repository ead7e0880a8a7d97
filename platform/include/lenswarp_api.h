// The records and operations of the maker's FEC library, libLenswarp.so: the contract that
// warpbench and the stand-in library both build against. A board build may put the maker's own
// header in its place (LENSWARP_INCLUDE_DIR); lenswarp_api_layout.h then checks that its records
// have the layout warpbench was written for.
//
// The records cross into the library by address, so on the 32-bit target their layout is fixed
// byte for byte (little-endian, 4-byte pointers and int, doubles on 8-byte boundaries). Address
// fields are pointer-sized, so a 64-bit host build stays correct; its layout then differs.
#ifndef LENSWARP_API_H
#define LENSWARP_API_H

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

#endif  // LENSWARP_API_H
