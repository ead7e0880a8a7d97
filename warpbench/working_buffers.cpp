#include "working_buffers.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/dma-buf.h>
#include <poll.h>
#include <string.h>
#include <unistd.h>

#include "dma_alloc.h"
#include "interruptible_transfer.h"
#include "messages.h"
#include "pixel_formats.h"
#include "run_state.h"
#include "run_statistics.h"
#include "stop_signals.h"

namespace {

// out_pic's record carries the frame size, but it must be freed with what was allocated.
int64_t out_pic_allocated = 0;

// Bytes per line: the stride when it exceeds the width (a stride of 0 or less means the width).
uint64_t line_bytes(uint32_t width, int32_t stride) {
  return stride > 0 && (uint32_t)stride > width ? (uint64_t)stride : width;
}

}  // namespace

void sync_cpu_access(const DmaBuffer &buf, uint64_t flags, const char *what) {
  if (!mem_ops->need_sync) return;
  if (sync_dma_buf(buf.fd, flags) != 0) {
    int err = errno;
    say(stderr, "%s failed: %s\n", what, strerror(err));
  }
}

WorkingBufferSizes working_buffer_sizes(const FecConfig *cfg, int32_t mesh_points) {
  WorkingBufferSizes s;
  s.mesh = mesh_points > 0 ? 6 * (uint64_t)mesh_points : 0;
  // The input, and an output in any format but FBC0, are sized as NV12.
  s.in_pic = nv12_frame_bytes(line_bytes(cfg->width, cfg->stride), cfg->height);
  const uint64_t w = line_bytes(cfg->out_width, cfg->out_stride);
  if (cfg->out_pixelformat == PIXEL_FORMAT_FBC0) {
    s.out_pic_alloc = s.out_pic_frame =
        frame_bytes(*find_pixel_format(PIXEL_FORMAT_FBC0), w, cfg->out_height);
  } else {
    // Room for the whole output frame even when it is taller than the input plus one line.
    const uint64_t lines =
        cfg->out_height > (uint64_t)cfg->height + 1 ? cfg->out_height : (uint64_t)cfg->height + 1;
    s.out_pic_alloc = nv12_frame_bytes(w, lines);
    s.out_pic_frame = nv12_frame_bytes(w, cfg->out_height);
  }
  return s;
}

int init_lenswarp_bufs(FecConfig *cfg, const WorkingBufferSizes &sizes) {
  int ret = mem_init();
  if (ret < 0) {
    int err = errno;
    say(stderr, "failed to init mem\n");
    errno = err;
    return ret;
  }

  int meshes = 0;
  bool have_in = false;
  for (; meshes < 2; ++meshes) {
    ret = mem_ops->alloc(mem_fd, (uint32_t)sizes.mesh, &run_bufs.mesh[meshes]);
    if (ret != 0) break;
    say(stdout, "mesh fd:%d size:%lld\n", run_bufs.mesh[meshes].fd,
        (long long)run_bufs.mesh[meshes].size);
  }
  if (ret == 0) {
    ret = mem_ops->alloc(mem_fd, (uint32_t)sizes.in_pic, &run_bufs.in_pic);
    have_in = ret == 0;
    if (have_in) {
      say(stdout, "in pic fd:%d size: %lld\n", run_bufs.in_pic.fd, (long long)run_bufs.in_pic.size);
    }
  }
  if (ret == 0) {
    ret = mem_ops->alloc(mem_fd, (uint32_t)sizes.out_pic_alloc, &run_bufs.out_pic);
    if (ret == 0) {
      out_pic_allocated = run_bufs.out_pic.size;
      run_bufs.out_pic.size = (int64_t)sizes.out_pic_frame;
      say(stdout, "out pic fd:%d size: %lld\n", run_bufs.out_pic.fd,
          (long long)run_bufs.out_pic.size);
    }
  }
  if (ret != 0) {
    int err = errno;
    if (have_in) mem_ops->free(mem_fd, &run_bufs.in_pic);
    for (int i = 0; i < meshes; ++i) mem_ops->free(mem_fd, &run_bufs.mesh[i]);
    mem_deinit();
    errno = err;
    return ret;
  }
  cfg->mesh_fd = run_bufs.mesh[0].fd;
  cfg->mesh_vaddr = (uintptr_t)run_bufs.mesh[0].vaddr;
  cfg->mesh_size = (uint32_t)run_bufs.mesh[0].size;
  return 0;
}

void deinit_lenswarp_bufs() {
  mem_ops->free(mem_fd, &run_bufs.mesh[0]);
  mem_ops->free(mem_fd, &run_bufs.mesh[1]);
  mem_ops->free(mem_fd, &run_bufs.in_pic);
  DmaBuffer out_as_allocated = run_bufs.out_pic;
  out_as_allocated.size = out_pic_allocated;
  mem_ops->free(mem_fd, &out_as_allocated);
  mem_deinit();
}

namespace {

// Frames of the output file that reached it whole, and whether writing it failed.
uint32_t frames_written = 0;
bool output_failed = false;

}  // namespace

int read_image_from_file(const char *path, void *dst, uint32_t size) {
  // Not blocking in open: a FIFO waits for its writer in the transfer, where a stop signal ends
  // the wait.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    say(stderr, "Could not open %s for reading\n", path);
    errno = err;
    return 0;
  }
  sync_cpu_access(run_bufs.in_pic, DMA_BUF_SYNC_START | DMA_BUF_SYNC_WRITE,
                  "DMA input sync(pre-write)");
  int err;
  char *bytes = static_cast<char *>(dst);
  size_t n = transfer(fd, POLLIN, true, size, &err,
                      [&](size_t done) { return read(fd, bytes + done, size - done); });
  // An empty file is no error; say so rather than leave a stale errno to report.
  if (n == 0 && err == 0) err = ENODATA;
  sync_cpu_access(run_bufs.in_pic, DMA_BUF_SYNC_END | DMA_BUF_SYNC_WRITE,
                  "DMA input sync(post-write)");
  close(fd);
  errno = err;
  return (int)n;
}

int open_output_file() {
  if (run_settings.stream_to == nullptr) return -1;
  // As fopen's "w+": read and write, created, truncated. Not blocking, so a full FIFO or pipe is
  // waited on where a stop signal ends the wait.
  int fd = open(run_settings.stream_to, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) say(stderr, "Could not open %s for writing\n", run_settings.stream_to);
  return fd;
}

size_t write_buffer_to_file(int fd, const void *buf, size_t n) {
  int err;
  const char *bytes = static_cast<const char *>(buf);
  size_t written = transfer(fd, POLLOUT, false, n, &err,
                            [&](size_t done) { return write(fd, bytes + done, n - done); });
  if (written < n) {
    say(stderr, "Error writing to file\n");
    errno = err != 0 ? err : EIO;
  }
  return written;
}

void close_output_file(int fd) {
  if (fd < 0) return;
  if (close(fd) != 0) {
    int err = errno;
    say(stderr, "Closing %s failed: %s\n", run_settings.stream_to, strerror(err));
    output_failed = true;
  }
  if (output_failed) {
    say(stderr, "Output file %s is incomplete: %u frames reached it whole\n",
        run_settings.stream_to, frames_written);
  }
}

int process_frame(int out, FrameTimes *times) {
  if (times != nullptr) times->start_ns = monotonic_ns();
  int processed = tq_lenswarp_api_process(fec_ctx, run_bufs.in_pic.fd, run_bufs.out_pic.fd);
  int process_err = errno;
  if (times != nullptr) {
    times->end_ns = monotonic_ns();
    times->engine_failed = processed != 0;
  }
  if (processed != 0) {
    say(stderr, "tq_lenswarp_api_process failed: %s\n", strerror(process_err));
    return -1;
  }
  if (out >= 0 && run_settings.stream_skip == 0) {
    sync_cpu_access(run_bufs.out_pic, DMA_BUF_SYNC_START | DMA_BUF_SYNC_READ,
                    "DMA output sync(pre-read)");
    const size_t frame = (size_t)run_bufs.out_pic.size;
    if (write_buffer_to_file(out, run_bufs.out_pic.vaddr, frame) < frame) {
      int err = errno;
      say(stderr, "write_buffer_to_file failed: %s\n", strerror(err));
      output_failed = true;
      return -1;
    }
    ++frames_written;
    sync_cpu_access(run_bufs.out_pic, DMA_BUF_SYNC_END | DMA_BUF_SYNC_READ,
                    "DMA output sync(post-read)");
    // The write-out follows the engine call at once, so its end is the write's start.
    if (times != nullptr) times->write_ns = monotonic_ns() - times->end_ns;
    say(stderr, "%c\n", '<');
    fflush(stderr);
  }
  if (run_settings.stream_skip > 0) {
    if (times != nullptr) times->skipped = true;
    --run_settings.stream_skip;
    return 0;
  }
  if (run_settings.stream_count > 0) {
    --run_settings.stream_count;
    return run_settings.stream_count == 0 ? -1 : 0;
  }
  return 0;
}
