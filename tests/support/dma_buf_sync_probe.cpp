#include "dma_buf_sync_probe.h"

#include <errno.h>
#include <linux/dma-buf.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>

#include "owned_fd.h"

std::string refused_sync_reason() {
  OwnedFd memfd(memfd_create("sync-probe", MFD_CLOEXEC));
  struct dma_buf_sync request = {DMA_BUF_SYNC_START | DMA_BUF_SYNC_WRITE};
  if (ioctl(memfd.get(), DMA_BUF_IOCTL_SYNC, &request) == 0) return "";
  return strerror(errno);
}
