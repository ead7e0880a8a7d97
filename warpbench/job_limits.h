// The limits a job is held to once its command line is read, before anything is allocated for
// it: pictures that have a width and a height, and buffers the platform can hold.
#ifndef WARPBENCH_JOB_LIMITS_H
#define WARPBENCH_JOB_LIMITS_H

#include <lenswarp_api.h>
#include <stdint.h>

#include "working_buffers.h"

// The largest buffer warpbench asks for: the allocators take a 32-bit size, which the DRM back
// end rounds up to whole pages, and on the 32-bit target one read or write moves at most this
// many bytes (its SSIZE_MAX).
constexpr uint64_t kMaxBufferBytes = INT32_MAX;

// 0, or 1 after saying on standard error which picture has a width or a height of 0. Asks the
// library nothing.
int refuse_empty_pictures(const FecConfig *cfg);

// Fills `sizes` for the job, with the mesh size the library gives: 0, or 1 after saying on
// standard error which buffer would need more than kMaxBufferBytes.
int size_job_buffers(const FecConfig *cfg, WorkingBufferSizes *sizes);

#endif  // WARPBENCH_JOB_LIMITS_H
