#include "job_limits.h"

#include <stdio.h>

namespace {

// The refusals are command-line errors, so like the other ones they ignore `silent`.
bool refuse_empty(const char *which, uint32_t width, uint32_t height) {
  if (width != 0 && height != 0) return false;
  fprintf(stderr, "%s picture %ux%u refused: its width and height must not be 0\n", which, width,
          height);
  return true;
}

}  // namespace

int refuse_empty_pictures(const FecConfig *cfg) {
  if (refuse_empty("Input", cfg->width, cfg->height)) return 1;
  if (refuse_empty("Output", cfg->out_width, cfg->out_height)) return 1;
  return 0;
}

int size_job_buffers(const FecConfig *cfg, WorkingBufferSizes *sizes) {
  *sizes = working_buffer_sizes(
      cfg, tq_lenswarp_api_calFecMeshsize((int)cfg->out_width, (int)cfg->out_height));
  // The output's frame never exceeds what is allocated for it, so the allocation is what counts.
  const struct {
    const char *name;
    uint64_t bytes;
  } buffers[] = {
      {"mesh", sizes->mesh},
      {"input picture", sizes->in_pic},
      {"output picture", sizes->out_pic_alloc},
  };
  for (const auto &b : buffers) {
    if (b.bytes <= kMaxBufferBytes) continue;
    fprintf(stderr, "Job refused: its %s buffer would need more than %llu bytes\n", b.name,
            (unsigned long long)kMaxBufferBytes);
    return 1;
  }
  return 0;
}
