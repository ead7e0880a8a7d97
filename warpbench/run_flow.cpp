#include "run_flow.h"

#include <errno.h>
#include <pthread.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>

#include "api_console.h"
#include "data_files.h"
#include "fec_job.h"
#include "frame_pacing.h"
#include "messages.h"
#include "options.h"
#include "run_state.h"
#include "stop_signals.h"
#include "working_buffers.h"

namespace {

pthread_t console_thread;
bool console_started = false;

struct RateReport {
  uint32_t frames_done;
  bool report_started;
  struct timeval start_time;
  struct timeval last_report_time;
};

void start_console() {
  say(stdout, "create thread for uapi test...\n");
  int rc = pthread_create(&console_thread, nullptr, api_test_thread, fec_ctx);
  if (rc != 0) {
    say(stderr, "pthread_create failed: %s\n", strerror(rc));
    return;
  }
  console_started = true;
}

// The console may be running an exercise against the library, so it must be gone first.
void stop_console() {
  stop_requested.store(true);
  if (console_started) pthread_join(console_thread, nullptr);
  console_started = false;
}

void count_frame(RateReport *r, int32_t fps) {
  uint32_t n = r->frames_done;
  if (!r->report_started) {
    gettimeofday(&r->last_report_time, nullptr);
    gettimeofday(&r->start_time, nullptr);
    r->report_started = true;
  } else if (rate_line_due(n, fps)) {
    struct timeval now;
    gettimeofday(&now, nullptr);
    say(stdout, "%s Current fps: %.2f, Total avg fps: %.2f\n", "warpbench",
        current_fps(fps, elapsed_seconds(&now, &r->last_report_time)),
        average_fps(n, elapsed_seconds(&now, &r->start_time)));
    r->last_report_time = now;
  }
  r->frames_done = n + 1;
}

// Runs frames until process_frame ends the loop or a stop signal arrives; a frame that has
// begun is always finished.
void run_frames(FILE *out) {
  const int32_t fps = run_settings.fps;
  RateReport report = {};
  struct timespec next_deadline;
  clock_gettime(CLOCK_MONOTONIC, &next_deadline);
  for (;;) {
    if (caught_stop_signal() != 0) break;
    if (pacing_enabled(fps)) {
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next_deadline, nullptr);
      if (caught_stop_signal() != 0) break;
    }
    if (process_frame(out) < 0) break;
    advance_deadline(&next_deadline, run_settings.frame_period_ns);
    count_frame(&report, fps);
  }
}

int set_up_job() {
  fill_fec_config(&fec_cfg, &run_settings);
  switch (choose_mesh_source(&fec_cfg, &run_settings)) {
    case MESH_SOURCE_OK:
      break;
    case MESH_SOURCE_BAD_PATH:
      return 1;
    case MESH_SOURCE_NO_CALIBRATION:
      return -1;
  }
  // Settled here, before the console exists: the settings are read-only once it runs.
  if (run_settings.stream_from == nullptr) {
    run_settings.stream_from = data_file_path(DEFAULT_INPUT_FILE);
  }
  return 0;
}

// Opens the library, starts the console when asked, loads the picture and runs the frames. It
// stops at the first failure and leaves whatever it acquired to tear_down.
void run_on_buffers(FILE **out) {
  fec_ctx = tq_lenswarp_api_init(&fec_cfg);
  if (fec_ctx == nullptr) {
    int err = errno;
    say(stderr, "tq_lenswarp_api_init failed: %s\n", strerror(err));
    return;
  }
  if (run_settings.api_test) start_console();
  int read = read_image_from_file(run_settings.stream_from, run_bufs.in_pic.vaddr,
                                  (uint32_t)run_bufs.in_pic.size);
  if (read <= 0) {
    int err = errno;
    say(stderr, "Failed to read image from %d, ret: %s\n", read, strerror(err));
    return;
  }
  *out = open_output_file();
  run_frames(*out);
}

// The one way back from a run on the working buffers, whichever step it reached: everything is
// released in the reverse order of acquisition.
void tear_down(FILE *out) {
  stop_console();
  if (out != nullptr) fclose(out);
  if (fec_ctx != nullptr) tq_lenswarp_api_deinit(fec_ctx);
  deinit_lenswarp_bufs();
  fec_ctx = nullptr;
}

}  // namespace

int warpbench_main(int argc, char **argv) {
  if (argc == 1) {
    print_usage();
    return 0;
  }
  int status = parse_command_line(argc, argv);
  if (status >= 0) return status;
  catch_stop_signals();

  status = set_up_job();
  if (status != 0) return status;

  if (init_lenswarp_bufs(&fec_cfg) < 0) {
    int err = errno;
    say(stderr, "init_lenswarp_bufs failed: %s\n", strerror(err));
    return -1;
  }
  FILE *out = nullptr;
  run_on_buffers(&out);
  tear_down(out);
  return 0;
}
