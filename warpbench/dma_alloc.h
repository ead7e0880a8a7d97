// DMA buffers for the engine: one allocator back end, chosen once per run from a table of two,
// the SoC's DRM device first and the FEC library's own allocator as the fallback.
#ifndef WARPBENCH_DMA_ALLOC_H
#define WARPBENCH_DMA_ALLOC_H

#include <lenswarp_api.h>
#include <soc_drm_ioctl.h>
#include <stdint.h>

#define GEM_CLOSE_REQUEST 0x40086409u     // DRM_IOCTL_GEM_CLOSE
#define DMA_BUF_SYNC_REQUEST 0x40086200u  // DMA_BUF_IOCTL_SYNC

// DMA_BUF_IOCTL_SYNC flags around CPU access.
#define DMA_SYNC_WRITE_START 2u
#define DMA_SYNC_WRITE_END 6u
#define DMA_SYNC_READ_START 1u
#define DMA_SYNC_READ_END 5u

// One allocator back end. alloc returns 0 or a negative value and fills fd, size and vaddr;
// free's and deinit's results are ignored by every caller.
struct MemOps {
  int (*init)(void);
  int (*deinit)(int handle);
  int (*alloc)(int handle, uint32_t size, DmaBuffer *buf);
  int (*free)(int handle, DmaBuffer *buf);
  bool need_sync;  // CPU access must be bracketed by DMA-buf sync calls
};

extern const MemOps mem_ops_table[2];  // drm_mem_ops, then lib_mem_ops

// Opens the first back end that opens and records it in mem_fd and mem_ops (run_state.h): 0, or
// -1 when neither opens.
int mem_init();
// Closes the chosen back end; does nothing when none is open. mem_fd keeps its value.
void mem_deinit();

int drm_open();
int drm_close(int fd);
// 0, or -1 / the failed libdrm call's negative result. Prints its own lines, whatever `silent`.
int drm_alloc(int drm_fd, uint32_t size, DmaBuffer *buf);
// 0, or -1 for a null record. Unmaps the record's size, at least the two pages every object has.
int drm_free(int drm_fd, DmaBuffer *buf);

// One DMA_BUF_IOCTL_SYNC on `fd`: 0, or -1 with errno set.
int dma_buf_sync(int fd, uint64_t flags);

#endif  // WARPBENCH_DMA_ALLOC_H
