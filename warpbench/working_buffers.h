// The run's four DMA buffers and everything the frame loop does with them.
#ifndef WARPBENCH_WORKING_BUFFERS_H
#define WARPBENCH_WORKING_BUFFERS_H

#include <lenswarp_api.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "frame_times.h"
#include "run_buffers.h"

// Bytes of each buffer for a job: what is asked of the allocator, and for out_pic also the
// frame size its record carries (the bytes written per frame). They never wrap: a size beyond 64
// bits is given as UINT64_MAX.
struct WorkingBufferSizes {
  uint64_t mesh;  // each of the two
  uint64_t in_pic;
  uint64_t out_pic_alloc;
  uint64_t out_pic_frame;
};

// The sizes for `cfg` with a mesh of `mesh_points` points (none when not positive).
WorkingBufferSizes working_buffer_sizes(const FecConfig *cfg, int32_t mesh_points);

// Brackets CPU access to `buf` with one DMA-buf sync call when the allocator needs it; a failed
// call is reported as "<what> failed: <reason>" (unless silent) and the access goes on.
void sync_cpu_access(const DmaBuffer &buf, uint64_t flags, const char *what);

// Allocates the four buffers with `sizes`, each within the job limits (size_job_buffers), and
// records mesh[0] in `cfg`. 0, or negative with errno set; on failure whatever it had allocated is
// freed again.
int init_lenswarp_bufs(FecConfig *cfg, const WorkingBufferSizes &sizes);

// Frees the four buffers; only after a successful init_lenswarp_bufs.
void deinit_lenswarp_bufs();

// Reads up to `size` bytes of `path` into `dst`, waiting for a slow source such as a FIFO: the
// count read, or 0 when nothing was read, with errno set (ENODATA for an empty file, EINTR when
// a stop signal ended the wait).
int read_image_from_file(const char *path, void *dst, uint32_t size);

// The output file's descriptor for stream_to (non-blocking), or -1 when there is none or it does
// not open.
int open_output_file();

// Writes all `n` bytes, waiting while a pipe or FIFO is full: the count written, less than `n`
// after a failure (errno set; EINTR when a stop signal ended the wait), which it reports.
size_t write_buffer_to_file(int fd, const void *buf, size_t n);

// Closes the output file (nothing for -1). A failed close, and a failed write before it, are
// reported with how many frames reached the file whole.
void close_output_file(int fd);

// One engine call, the write-out and the skip/count bookkeeping: 0 to go on, -1 to end the loop.
// With `times` it also stamps the engine call and times the write-out; without, no clock is read.
int process_frame(int out, FrameTimes *times);

#endif  // WARPBENCH_WORKING_BUFFERS_H
