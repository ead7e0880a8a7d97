// The record of the run's four working DMA buffers (run_state.h holds the run's instance).
#ifndef WARPBENCH_RUN_BUFFERS_H
#define WARPBENCH_RUN_BUFFERS_H

#include <lenswarp_api.h>

struct RunBuffers {
  DmaBuffer mesh[2];  // mesh[0] is handed to the library at start; both feed the mesh exercises
  DmaBuffer out_pic;  // its size is the number of bytes written per frame
  DmaBuffer in_pic;
};

#endif  // WARPBENCH_RUN_BUFFERS_H
