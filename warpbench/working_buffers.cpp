#include "working_buffers.h"

#include <errno.h>
#include <string.h>

#include "messages.h"
#include "run_settings.h"

RunBuffers run_bufs;
FecContext fec_ctx;

namespace {

// Until the DRM back end exists, every buffer comes from the library's own allocator.
int vb_handle = -1;

int alloc_buffer(uint32_t size, DmaBuffer *buf) {
  return tq_lenswarp_api_vb_alloc(vb_handle, size, buf);
}

void free_buffer(DmaBuffer *buf) {
  tq_lenswarp_api_vb_free(vb_handle, buf);
}

void close_allocator() {
  if (vb_handle >= 0) tq_lenswarp_api_vb_deinit(vb_handle);
  vb_handle = -1;
}

int32_t max_i32(int32_t a, int32_t b) {
  return a > b ? a : b;
}

}  // namespace

int init_lenswarp_bufs(FecConfig *cfg) {
  vb_handle = tq_lenswarp_api_vb_init();
  if (vb_handle < 0) {
    int err = errno;
    say(stderr, "failed to init mem\n");
    errno = err;
    return vb_handle;
  }
  int32_t mesh_bytes =
      6 * tq_lenswarp_api_calFecMeshsize((int)cfg->out_width, (int)cfg->out_height);
  int ret = 0;
  int mesh_done = 0;
  for (; mesh_done < 2; ++mesh_done) {
    ret = alloc_buffer((uint32_t)mesh_bytes, &run_bufs.mesh[mesh_done]);
    if (ret != 0) break;
    say(stdout, "mesh fd:%d size:%lld\n", run_bufs.mesh[mesh_done].fd,
        (long long)run_bufs.mesh[mesh_done].size);
  }
  bool in_done = false;
  if (ret == 0) {
    int32_t in_bytes =
        max_i32((int32_t)cfg->stride, (int32_t)cfg->width) * (int32_t)cfg->height * 3 / 2;
    ret = alloc_buffer((uint32_t)in_bytes, &run_bufs.in_pic);
    in_done = ret == 0;
    if (in_done) {
      say(stdout, "in pic fd:%d size: %lld\n", run_bufs.in_pic.fd, (long long)run_bufs.in_pic.size);
    }
  }
  if (ret == 0) {
    int32_t w = max_i32((int32_t)cfg->out_stride, (int32_t)cfg->out_width);
    int32_t alloc_bytes = ((int32_t)cfg->height + 1) * w * 3 / 2;
    int32_t frame_bytes = (int32_t)cfg->out_height * w * 3 / 2;
    if (cfg->out_pixelformat == 0x30434246u) {  // "FBC0"
      alloc_bytes = frame_bytes = (w + 63) / 64 * (int32_t)cfg->out_height * 400 / 4;
    }
    ret = alloc_buffer((uint32_t)alloc_bytes, &run_bufs.out_pic);
    if (ret == 0) {
      run_bufs.out_pic.size = frame_bytes;
      say(stdout, "out pic fd:%d size: %lld\n", run_bufs.out_pic.fd,
          (long long)run_bufs.out_pic.size);
    }
  }
  if (ret != 0) {
    int err = errno;
    if (in_done) free_buffer(&run_bufs.in_pic);
    for (int i = 0; i < mesh_done; ++i) free_buffer(&run_bufs.mesh[i]);
    close_allocator();
    errno = err;
    return ret;
  }
  cfg->mesh_fd = run_bufs.mesh[0].fd;
  cfg->mesh_vaddr = (uintptr_t)run_bufs.mesh[0].vaddr;
  cfg->mesh_size = (uint32_t)run_bufs.mesh[0].size;
  return 0;
}

void deinit_lenswarp_bufs() {
  free_buffer(&run_bufs.mesh[0]);
  free_buffer(&run_bufs.mesh[1]);
  free_buffer(&run_bufs.in_pic);
  free_buffer(&run_bufs.out_pic);
  close_allocator();
}

int read_image_from_file(const char *path, void *dst, uint32_t size) {
  FILE *f = fopen(path, "r");
  if (f == nullptr) {
    int err = errno;
    say(stderr, "Could not open %s for reading\n", path);
    errno = err;
    return 0;
  }
  size_t n = fread(dst, 1, size, f);
  int err = errno;
  fclose(f);
  errno = err;
  return (int)n;
}

FILE *open_output_file() {
  if (run_settings.stream_to == nullptr) return nullptr;
  FILE *f = fopen(run_settings.stream_to, "w+");
  if (f == nullptr) say(stderr, "Could not open %s for writing\n", run_settings.stream_to);
  return f;
}

size_t write_buffer_to_file(FILE *f, const void *buf, size_t n) {
  size_t written = fwrite(buf, 1, n, f);
  if (written < n) say(stderr, "Error writing to file");
  return written;
}

int process_frame(FILE *out) {
  if (tq_lenswarp_api_process(fec_ctx, run_bufs.in_pic.fd, run_bufs.out_pic.fd) != 0) {
    int err = errno;
    say(stderr, "tq_lenswarp_api_process failed: %s\n", strerror(err));
    return -1;
  }
  if (out != nullptr && run_settings.stream_skip == 0) {
    size_t written =
        write_buffer_to_file(out, run_bufs.out_pic.vaddr, (uint32_t)run_bufs.out_pic.size);
    if (written == 0) {
      int err = errno;
      say(stderr, "write_buffer_to_file failed: %s\n", strerror(err));
      return -1;
    }
    say(stderr, "%c\n", '<');
    fflush(stderr);
  }
  if (run_settings.stream_skip > 0) {
    --run_settings.stream_skip;
    return 0;
  }
  if (run_settings.stream_count > 0) {
    --run_settings.stream_count;
    return run_settings.stream_count == 0 ? -1 : 0;
  }
  return 0;
}
