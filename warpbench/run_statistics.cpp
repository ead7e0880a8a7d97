#include "run_statistics.h"

#include <camtools_version.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <initializer_list>

#include "deadline_wait.h"
#include "dma_alloc.h"
#include "frame_pacing.h"
#include "interruptible_transfer.h"
#include "run_state.h"
#include "stop_signals.h"

RunStatistics run_stats;

namespace {

// Text being built in a fixed buffer; once it overflows, `used` stays past the end.
struct TextBuffer {
  char *bytes;
  size_t size, used;
};

void append(TextBuffer *t, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void append(TextBuffer *t, const char *fmt, ...) {
  if (t->used >= t->size) return;
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(t->bytes + t->used, t->size - t->used, fmt, ap);
  va_end(ap);
  t->used += n < 0 ? t->size : (size_t)n;
}

// One of the two files, and whether it still takes the statistics. After its first failure
// nothing more goes to it, so no block is written twice and a stuck reader holds nothing up.
struct StatisticsFile {
  const char *variable;  // the environment variable that names it
  const char *records;   // what it holds, for the messages
  const char *path;
  int fd;         // -1 when not asked for, not open, or given up after a failure
  bool standard;  // one of the standard streams, written through its own descriptor
  size_t piece;   // the most bytes one write takes: PIPE_BUF on a pipe, so no line is split
};

StatisticsFile stats_file = {"WARPBENCH_STATS", "statistics", nullptr, -1, false, SIZE_MAX};
StatisticsFile frames_file = {"WARPBENCH_FRAMES", "frame records", nullptr, -1, false, SIZE_MAX};

// The standard stream (1 or 2) that `path` is, by device and inode, or -1.
int standard_stream_of(const char *path) {
  struct stat named, stream;
  if (stat(path, &named) != 0) return -1;
  for (int fd : {2, 1}) {
    if (fstat(fd, &stream) == 0 && stream.st_dev == named.st_dev && stream.st_ino == named.st_ino) {
      return fd;
    }
  }
  return -1;
}

// Opens the file for writing, truncated, not blocking. A FIFO without a reader is waited for, as a
// blocking open would, but a stop signal ends the wait at once: -1 with errno EINTR.
int open_without_blocking(const char *path) {
  for (;;) {
    if (caught_stop_signal() != 0) {
      errno = EINTR;
      return -1;
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd >= 0 || errno != ENXIO) return fd;
    // ENXIO: a FIFO that no reader holds yet. Nothing announces a reader, so look again shortly;
    // the stop signal's descriptor ends the pause at once.
    struct pollfd stop = {stop_signal_fd(), POLLIN, 0};
    poll(&stop, stop.fd >= 0 ? 1 : 0, 10);
  }
}

void open_statistics_file(StatisticsFile *f) {
  f->path = getenv(f->variable);
  if (f->path == nullptr) return;
  f->standard = false;
  f->piece = SIZE_MAX;
  int standard = standard_stream_of(f->path);
  if (standard >= 0) {
    f->fd = standard;
    f->standard = true;
  } else {
    f->fd = open_without_blocking(f->path);
  }
  if (f->fd < 0) {
    int err = errno;
    fprintf(stderr, "warpbench: %s: cannot open %s: %s; no %s are written\n", f->variable, f->path,
            strerror(err), f->records);
    return;
  }
  struct stat st;
  if (fstat(f->fd, &st) == 0 && S_ISFIFO(st.st_mode)) f->piece = PIPE_BUF;
}

void give_up_statistics_file(StatisticsFile *f) {
  if (f->fd >= 0 && !f->standard) close(f->fd);
  f->fd = -1;
}

// Writes all of `n` bytes to `f`: 0, or the errno of the failure (EINTR when a stop signal
// ended a wait). The standard streams stay blocking (others share them), so for them every write
// waits until poll finds them ready.
int write_piece(const StatisticsFile *f, const char *bytes, size_t n) {
  int err;
  size_t written = transfer(f->fd, POLLOUT, f->standard, n, &err,
                            [&](size_t done) { return write(f->fd, bytes + done, n - done); });
  return written == n ? 0 : err != 0 ? err : EIO;
}

// Writes `n` bytes of whole lines, each write ending on a line boundary. The first failure is said
// once on standard error, whatever -s says, and ends all writing to the file.
void write_lines(StatisticsFile *f, const char *bytes, size_t n) {
  if (f->fd < 0) return;
  if (f->standard) {
    fflush(stdout);
    fflush(stderr);
  }
  while (n > 0) {
    size_t len = n;
    if (len > f->piece) {
      const void *last = memrchr(bytes, '\n', f->piece);
      len = last != nullptr ? (size_t)(static_cast<const char *>(last) - bytes) + 1 : f->piece;
    }
    int err = write_piece(f, bytes, len);
    if (err != 0) {
      fprintf(stderr, "warpbench: %s: writing %s failed: %s; the %s are incomplete\n", f->variable,
              f->path, strerror(err), f->records);
      give_up_statistics_file(f);
      return;
    }
    bytes += len;
    n -= len;
  }
}

// Writes the frame log out as CSV lines and empties it; the header goes before the first block.
void write_frame_log() {
  static char text[64 * 1024];
  TextBuffer t = {text, sizeof text, 0};
  if (run_stats.frames_logged == 0) append(&t, "frame,deadline_ns,start_ns,end_ns,write_ns\n");
  for (uint32_t i = 0; i < run_stats.frame_log_used && frames_file.fd >= 0; ++i) {
    const FrameRecord &r = run_stats.frame_log[i];
    // A line is at most 5 numbers of 20 digits and their separators.
    if (t.size - t.used < 128) {
      write_lines(&frames_file, text, t.used);
      t.used = 0;
    }
    append(&t, "%llu,%lld,%lld,%lld,%lld\n", (unsigned long long)(run_stats.frames_logged + i),
           (long long)r.deadline_ns, (long long)r.start_ns, (long long)r.end_ns,
           (long long)r.write_ns);
  }
  write_lines(&frames_file, text, t.used);
  run_stats.frames_logged += run_stats.frame_log_used;
  run_stats.frame_log_used = 0;
}

// `text` as a JSON string: quotes, backslashes and control characters escaped, the rest as it is.
void append_json_string(TextBuffer *t, const char *text) {
  append(t, "\"");
  for (const char *c = text; *c != '\0'; ++c) {
    const unsigned char b = (unsigned char)*c;
    if (b == '"' || b == '\\') {
      append(t, "\\%c", b);
    } else if (b < 0x20 || b == 0x7F) {
      append(t, "\\u%04x", b);
    } else {
      append(t, "%c", b);
    }
  }
  append(t, "\"");
}

double seconds(int64_t ns) {
  return (double)ns / 1e9;
}

double timeval_seconds(const struct timeval &tv) {
  return (double)tv.tv_sec + (double)tv.tv_usec / 1e6;
}

// A distribution in microseconds, or null when it does not apply.
void append_distribution(TextBuffer *t, const char *key, const LatencyHistogram *h) {
  append(t, ",\"%s\":", key);
  if (h == nullptr) {
    append(t, "null");
    return;
  }
  append(t, "{\"count\":%llu", (unsigned long long)h->count);
  if (h->count == 0) {
    append(t,
           ",\"min\":null,\"mean\":null,\"p50\":null,\"p90\":null,\"p99\":null,"
           "\"p99_9\":null,\"max\":null}");
    return;
  }
  append(t, ",\"min\":%.3f,\"mean\":%.3f", (double)h->min_ns / 1e3, histogram_mean_ns(h) / 1e3);
  static const struct {
    const char *key;
    uint32_t per_mille;
  } percentiles[] = {{"p50", 500}, {"p90", 900}, {"p99", 990}, {"p99_9", 999}};
  for (const auto &p : percentiles) {
    append(t, ",\"%s\":%.3f", p.key, (double)histogram_percentile(h, p.per_mille) / 1e3);
  }
  append(t, ",\"max\":%.3f}", (double)h->max_ns / 1e3);
}

// A pixel format as its four characters when they are printable, else as its number.
void append_picture(TextBuffer *t, const char *key, uint32_t width, uint32_t height,
                    uint32_t format) {
  append(t, ",\"%s\":{\"width\":%u,\"height\":%u,\"format\":", key, width, height);
  char code[8] = {(char)(format & 0xFF), (char)((format >> 8) & 0xFF),
                  (char)((format >> 16) & 0xFF), (char)((format >> 24) & 0x7F), '\0'};
  bool printable = true;
  for (int i = 0; i < 4; ++i) printable = printable && code[i] > ' ' && code[i] < 0x7F;
  if (printable && (format & 0x80000000u) != 0) memcpy(code + 4, "-BE", 4);
  char number[16];
  snprintf(number, sizeof number, "0x%08x", format);
  append_json_string(t, printable ? code : number);
  append(t, "}");
}

const char *mesh_source_name(uint32_t mesh_mode) {
  static const struct {
    uint32_t mode;
    const char *name;
  } names[] = {{FEC_MESH_MODE_FILE, "file"},
               {FEC_MESH_MODE_ONLINE, "ini online"},
               {FEC_MESH_MODE_INI, "ini auto"}};
  for (const auto &n : names) {
    if (n.mode == mesh_mode) return n.name;
  }
  return "unknown";
}

void append_run(TextBuffer *t, int64_t now_ns) {
  const RunSettings &s = run_settings;
  append(t, "{\"run\":{\"version\":");
  append_json_string(t, CAMTOOLS_VERSION);
  append_picture(t, "input", s.width, s.height, s.pixelformat);
  append_picture(t, "output", s.out_width, s.out_height, s.out_pixelformat);
  if (pacing_enabled(s.fps)) {
    append(t, ",\"fps\":%d,\"period_ns\":%d", s.fps, s.frame_period_ns);
  } else {
    append(t, ",\"fps\":%d,\"period_ns\":null", s.fps);
  }
  append(t, ",\"spin_us\":%d", deadline_spin_us());
  append(t, ",\"mesh_source\":");
  append_json_string(t, mesh_source_name(fec_cfg.mesh_mode));
  append(t, ",\"allocator\":");
  append_json_string(t, mem_ops == &mem_ops_table[0] ? "drm" : "library");
  struct tm utc;
  gmtime_r(&run_stats.set_up_wall.tv_sec, &utc);
  char start_time[96];
  snprintf(start_time, sizeof start_time, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ",
           utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
           run_stats.set_up_wall.tv_nsec / 1000000);
  append(t, ",\"start_time\":");
  append_json_string(t, start_time);
  struct rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  append(t, ",\"wall_s\":%.6f,\"cpu_user_s\":%.6f,\"cpu_system_s\":%.6f,\"max_rss_kib\":%ld}",
         seconds(now_ns - run_stats.set_up_ns), timeval_seconds(usage.ru_utime),
         timeval_seconds(usage.ru_stime), (long)usage.ru_maxrss);
}

void write_summary() {
  static char text[4096];
  TextBuffer t = {text, sizeof text, 0};
  const bool paced = pacing_enabled(run_settings.fps);
  append_run(&t, monotonic_ns());
  append(&t,
         ",\"counts\":{\"engine_calls\":%llu,\"frames_written\":%llu,\"frames_skipped\":%llu,"
         "\"engine_failures\":%llu}",
         (unsigned long long)run_stats.engine.count, (unsigned long long)run_stats.write.count,
         (unsigned long long)run_stats.frames_skipped,
         (unsigned long long)run_stats.engine_failures);
  append_distribution(&t, "engine_us", &run_stats.engine);
  append_distribution(&t, "lateness_us", paced ? &run_stats.lateness : nullptr);
  append_distribution(&t, "write_us", &run_stats.write);
  if (paced) {
    append(&t, ",\"deadlines_missed\":%llu", (unsigned long long)run_stats.deadlines_missed);
  } else {
    append(&t, ",\"deadlines_missed\":null");
  }
  const int64_t loop_ns = run_stats.loop_end_ns - run_stats.loop_start_ns;
  append(&t, ",\"achieved_fps\":%.3f}\n",
         loop_ns > 0 ? (double)run_stats.engine.count / seconds(loop_ns) : 0.0);
  if (t.used < t.size) write_lines(&stats_file, text, t.used);
}

}  // namespace

int64_t monotonic_ns() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return timespec_ns(&ts);
}

uint64_t frame_lateness_ns(int64_t deadline_ns, int64_t start_ns) {
  return start_ns > deadline_ns ? (uint64_t)(start_ns - deadline_ns) : 0;
}

bool deadline_missed(int64_t deadline_ns, int64_t start_ns, int32_t period_ns) {
  return start_ns - deadline_ns > period_ns;
}

void open_run_statistics() {
  clock_gettime(CLOCK_REALTIME, &run_stats.set_up_wall);
  run_stats.set_up_ns = monotonic_ns();
  open_statistics_file(&stats_file);
  open_statistics_file(&frames_file);
  if (frames_file.fd < 0) return;
  run_stats.frame_log = static_cast<FrameRecord *>(calloc(FRAME_LOG_RECORDS, sizeof(FrameRecord)));
  if (run_stats.frame_log == nullptr) give_up_statistics_file(&frames_file);
}

bool run_statistics_wanted() {
  return stats_file.fd >= 0 || frames_file.fd >= 0;
}

void begin_frame_loop(int64_t first_deadline_ns) {
  run_stats.loop_started = true;
  run_stats.loop_start_ns = first_deadline_ns;
}

void end_frame_loop() {
  run_stats.loop_end_ns = monotonic_ns();
}

void record_frame(const FrameTimes *frame, int32_t fps, int32_t period_ns) {
  if (frame->engine_failed) ++run_stats.engine_failures;
  if (frame->skipped) ++run_stats.frames_skipped;
  histogram_record(&run_stats.engine, (uint64_t)(frame->end_ns - frame->start_ns));
  if (frame->write_ns > 0) histogram_record(&run_stats.write, (uint64_t)frame->write_ns);
  if (pacing_enabled(fps)) {
    histogram_record(&run_stats.lateness, frame_lateness_ns(frame->deadline_ns, frame->start_ns));
    if (deadline_missed(frame->deadline_ns, frame->start_ns, period_ns)) {
      ++run_stats.deadlines_missed;
    }
  }
  if (run_stats.frame_log == nullptr) return;
  run_stats.frame_log[run_stats.frame_log_used++] = {frame->deadline_ns, frame->start_ns,
                                                     frame->end_ns, frame->write_ns};
  if (run_stats.frame_log_used == FRAME_LOG_RECORDS) write_frame_log();
}

void close_run_statistics() {
  if (run_stats.loop_started) {
    if (run_stats.frame_log != nullptr) write_frame_log();
    if (stats_file.fd >= 0) write_summary();
  }
  free(run_stats.frame_log);
  run_stats.frame_log = nullptr;
  give_up_statistics_file(&frames_file);
  give_up_statistics_file(&stats_file);
}
