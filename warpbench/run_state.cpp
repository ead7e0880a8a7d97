#include "run_state.h"

RunSettings run_settings = default_run_settings();
FecConfig fec_cfg;
FecContext fec_ctx;
RunBuffers run_bufs;
std::atomic<bool> stop_requested{false};
