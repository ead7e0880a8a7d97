#include "run_state.h"

RunSettings run_settings = default_run_settings();
FecConfig fec_cfg;
FecContext fec_ctx;
RunBuffers run_bufs;
int mem_fd = -1;
const MemOps *mem_ops = nullptr;
RunStatistics run_stats;
std::atomic<bool> stop_requested{false};
