#include "run_flow.h"

#include <errno.h>
#include <pthread.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/time.h>
#include <time.h>

#include "api_console.h"
#include "data_files.h"
#include "deadline_wait.h"
#include "fec_job.h"
#include "frame_pacing.h"
#include "job_limits.h"
#include "messages.h"
#include "options.h"
#include "run_state.h"
#include "run_statistics.h"
#include "standard_descriptors.h"
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
// begun is finished, but for a write that the signal ends.
void run_frames(int out) {
  const int32_t fps = run_settings.fps;
  const int32_t period_ns = run_settings.frame_period_ns;
  const bool timed = run_statistics_wanted();
  RateReport report = {};
  // The kernel may wake a sleeper up to its timer slack (50 us by default) late, to batch wake-
  // ups; a paced loop wants its deadline, not a batch.
  if (pacing_enabled(fps)) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  struct timespec next_deadline;
  clock_gettime(CLOCK_MONOTONIC, &next_deadline);
  if (timed) begin_frame_loop(timespec_ns(&next_deadline));
  for (;;) {
    if (caught_stop_signal() != 0) break;
    if (pacing_enabled(fps)) {
      wait_for_deadline(&next_deadline);
      if (caught_stop_signal() != 0) break;
    }
    FrameTimes times = {};
    if (pacing_enabled(fps)) times.deadline_ns = timespec_ns(&next_deadline);
    int step = process_frame(out, timed ? &times : nullptr);
    if (timed) record_frame(&times, fps, period_ns);
    if (step < 0) break;
    advance_deadline(&next_deadline, period_ns);
    count_frame(&report, fps);
  }
  if (timed) end_frame_loop();
}

// The exit status of a mesh source that could not be had.
int mesh_source_status(MeshSourceResult result) {
  switch (result) {
    case MESH_SOURCE_OK:
      break;
    case MESH_SOURCE_BAD_PATH:
      return 1;
    case MESH_SOURCE_NO_CALIBRATION:
      return -1;
  }
  return 0;
}

// The job and its buffer sizes: 0, or the exit status of a job refused before anything is
// allocated. Empty pictures are refused before the library is asked anything.
int set_up_job(WorkingBufferSizes *sizes) {
  fill_fec_config(&fec_cfg, &run_settings);
  int status = mesh_source_status(choose_mesh_source(&fec_cfg, &run_settings));
  if (status == 0 && refuse_empty_pictures(&fec_cfg) != 0) status = 1;
  if (status == 0) status = mesh_source_status(load_online_parameters(&fec_cfg, &run_settings));
  if (status == 0 && size_job_buffers(&fec_cfg, sizes) != 0) status = 1;
  if (status != 0) return status;
  // Settled here, before the console exists: the settings are read-only once it runs.
  if (run_settings.stream_from == nullptr) {
    run_settings.stream_from = data_file_path(DEFAULT_INPUT_FILE);
  }
  return 0;
}

// Opens the library, starts the console when asked, loads the picture and runs the frames. It
// stops at the first failure, or at a stop signal, and leaves whatever it acquired to tear_down.
void run_on_buffers(int *out) {
  if (caught_stop_signal() != 0) return;
  fec_ctx = tq_lenswarp_api_init(&fec_cfg);
  if (fec_ctx == nullptr) {
    int err = errno;
    say(stderr, "tq_lenswarp_api_init failed: %s\n", strerror(err));
    return;
  }
  if (caught_stop_signal() != 0) return;
  if (run_settings.api_test) start_console();
  int read = read_image_from_file(run_settings.stream_from, run_bufs.in_pic.vaddr,
                                  (uint32_t)run_bufs.in_pic.size);
  // A stop signal while the picture was awaited is no failure to report.
  if (caught_stop_signal() != 0) return;
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
void tear_down(int out) {
  stop_console();
  close_output_file(out);
  if (fec_ctx != nullptr) tq_lenswarp_api_deinit(fec_ctx);
  close_run_statistics();
  deinit_lenswarp_bufs();
  fec_ctx = nullptr;
}

}  // namespace

int warpbench_main(int argc, char **argv) {
  open_missing_standard_descriptors();
  if (argc == 1) {
    print_usage();
    return 0;
  }
  int status = parse_command_line(argc, argv);
  if (status >= 0) return status;
  if (read_deadline_spin() != 0) return 1;
  catch_stop_signals();

  WorkingBufferSizes sizes;
  status = set_up_job(&sizes);
  // A stop signal during set-up (the library reading its files, say) ends the run here.
  if (status != 0 || caught_stop_signal() != 0) return status;

  if (init_lenswarp_bufs(&fec_cfg, sizes) < 0) {
    int err = errno;
    say(stderr, "init_lenswarp_bufs failed: %s\n", strerror(err));
    return -1;
  }
  // Opened after the buffers, so the descriptors they print are those of a run without them.
  open_run_statistics();
  int out = -1;
  run_on_buffers(&out);
  tear_down(out);
  return 0;
}
