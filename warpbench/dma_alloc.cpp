#include "dma_alloc.h"

#include <drm.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/dma-buf.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xf86drm.h>

int mem_fd = -1;
const MemOps *mem_ops = nullptr;

namespace {

void gem_close(int drm_fd, uint32_t handle) {
  struct drm_gem_close close_req = {handle, 0};
  drmIoctl(drm_fd, DRM_IOCTL_GEM_CLOSE, &close_req);
}

// A failed allocation leaves nothing open: the exported descriptor goes with the object, though
// the record keeps its number.
void undo_alloc(int drm_fd, uint32_t handle, int exported_fd) {
  if (exported_fd >= 0) close(exported_fd);
  gem_close(drm_fd, handle);
}

uint32_t two_pages() {
  return 2u * (uint32_t)getpagesize();
}

}  // namespace

const MemOps mem_ops_table[2] = {
    {drm_open, drm_close, drm_alloc, drm_free, false},
    {tq_lenswarp_api_vb_init, tq_lenswarp_api_vb_deinit, tq_lenswarp_api_vb_alloc,
     tq_lenswarp_api_vb_free, true},
};

int mem_init() {
  const MemOps *chosen = nullptr;
  for (const MemOps &ops : mem_ops_table) {
    mem_fd = ops.init();
    if (mem_fd >= 0) {
      chosen = &ops;
      break;
    }
  }
  if (chosen == nullptr) return -1;
  mem_ops = chosen;
  return 0;
}

void mem_deinit() {
  if (mem_fd < 0 || mem_ops == nullptr) return;
  mem_ops->deinit(mem_fd);
  mem_ops = nullptr;
}

int drm_open() {
  int fd = open(SOC_DRM_DEVICE, O_RDWR);
  if (fd < 0) {
    int err = errno;
    printf("failed to open drm !\n");
    errno = err;
  }
  return fd;
}

int drm_close(int fd) {
  if (fd >= 0) close(fd);
  return 0;
}

int drm_alloc(int drm_fd, uint32_t size, DmaBuffer *buf) {
  GemCreateRequest create = {size > two_pages() ? size : two_pages(), 0, 0};
  int ret = drmIoctl(drm_fd, GEM_CREATE_REQUEST, &create);
  if (ret != 0) {
    int err = errno;
    printf("failed to GEM_CREATE req.size %d\n", (int)(uint32_t)create.size);
    errno = err;
    return -1;
  }
  const uint64_t gem_size = create.size;

  ret = drmPrimeHandleToFD(drm_fd, create.handle, 0, &buf->fd);
  if (ret != 0) {
    int err = errno;
    printf("failed to get dma dma_node_fd.\n");
    undo_alloc(drm_fd, create.handle, -1);
    errno = err;
    return ret;
  }

  GemMapOffsetRequest map = {create.handle, 0, 0};
  ret = drmIoctl(drm_fd, GEM_MAP_OFFSET_REQUEST, &map);
  if (ret != 0) {
    int err = errno;
    printf("failed to ioctl gem map offset.");
    undo_alloc(drm_fd, create.handle, buf->fd);
    errno = err;
    return ret;
  }

  printf("handle = %u, dma_fd = %d, alloc_size = %u, real_size = %u\n", create.handle, buf->fd,
         size, (uint32_t)gem_size);

  buf->vaddr = mmap(nullptr, (size_t)gem_size, PROT_READ | PROT_WRITE, MAP_SHARED, drm_fd,
                    (off_t)map.offset);
  if (buf->vaddr == MAP_FAILED) {
    int err = errno;
    printf("failed to mmap buffer. offset = %d, reason: %s\n", (int)map.offset, strerror(err));
    undo_alloc(drm_fd, create.handle, buf->fd);
    errno = err;
    return -1;
  }
  buf->handle = create.handle;
  buf->size = (int64_t)size;
  return 0;
}

int drm_free(int drm_fd, DmaBuffer *buf) {
  // Whatever size the record carries: even a zero-byte request got an object of two pages.
  if (buf == nullptr) return -1;
  if (buf->vaddr != nullptr) {
    uint64_t len = (uint64_t)buf->size > two_pages() ? (uint64_t)buf->size : two_pages();
    munmap(buf->vaddr, (uint32_t)len);
  }
  if (buf->fd >= 0) close(buf->fd);
  gem_close(drm_fd, buf->handle);
  return 0;
}

int sync_dma_buf(int fd, uint64_t flags) {
  struct dma_buf_sync sync = {flags};
  return ioctl(fd, DMA_BUF_IOCTL_SYNC, &sync);
}
