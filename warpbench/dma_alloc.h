// DMA buffers for the engine: one allocator back end, chosen once per run from a table of two,
// the SoC's DRM device first and the FEC library's own allocator as the fallback.
#ifndef WARPBENCH_DMA_ALLOC_H
#define WARPBENCH_DMA_ALLOC_H

#include <lenswarp_api.h>
#include <soc_drm_ioctl.h>
#include <stdint.h>

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

// The back end chosen by mem_init: its handle (-1 before) and its table entry (null while
// closed). mem_fd keeps its last value after mem_deinit.
extern int mem_fd;
extern const MemOps *mem_ops;

// Opens the first back end that opens and records it in mem_fd and mem_ops: 0, or -1 when
// neither opens.
int mem_init();
// Closes the chosen back end; does nothing when none is open. mem_fd keeps its value.
void mem_deinit();

int drm_open();
int drm_close(int fd);
// 0, or -1 / the failed libdrm call's negative result. Prints its own lines, whatever `silent`.
int drm_alloc(int drm_fd, uint32_t size, DmaBuffer *buf);
// 0, or -1 for a null record. Unmaps the record's size, at least the two pages every object has.
int drm_free(int drm_fd, DmaBuffer *buf);

// One DMA_BUF_IOCTL_SYNC on `fd` with DMA_BUF_SYNC_* `flags`: 0, or -1 with errno set.
int sync_dma_buf(int fd, uint64_t flags);

#endif  // WARPBENCH_DMA_ALLOC_H
