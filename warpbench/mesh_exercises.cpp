#include "mesh_exercises.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/dma-buf.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "data_files.h"
#include "dma_alloc.h"
#include "messages.h"
#include "run_state.h"
#include "working_buffers.h"

namespace {

constexpr int kIterations = 10;
constexpr useconds_t kPause = 100000;
constexpr useconds_t kFilePause = 300000;
constexpr size_t kPathSize = 256;

void pause_by_sleeping(unsigned int microseconds) {
  usleep(microseconds);
}

ExercisePause exercise_pause = pause_by_sleeping;

// The mesh file each in-memory exercise loaded last; separate, so one never steers the other.
char vaddr_last_mesh_path[kPathSize + 1];
char dma_fd_last_mesh_path[kPathSize + 1];

const char *level000_path() {
  return data_file_path(LEVEL000_MESH_FILE);
}
const char *level200_path() {
  return data_file_path(LEVEL200_MESH_FILE);
}

// The other fixed mesh file: level200 after level000, level000 after anything else.
const char *next_mesh_path(const char *current) {
  return strstr(current, level000_path()) != nullptr ? level200_path() : level000_path();
}

int toggled_level(int level) {
  return level == 0 ? 200 : 0;
}

// The library's failures are reported with errno as it left it.
int report_failure(int ret, const char *what) {
  int err = errno;
  say(stderr, "%s failed: %s\n", what, strerror(err));
  return ret;
}

// strncpy's contract for a 256-character field: zero-padded, unterminated when the path fills it.
void copy_path(char *field, const char *path) {
  size_t n = strnlen(path, kPathSize);
  memcpy(field, path, n);
  memset(field + n, 0, kPathSize - n);
}

void remember_path(char *memory, const char *path) {
  copy_path(memory, path);
  memory[kPathSize] = '\0';
}

// A mesh file that could not be loaded stops its exercise with the loader's result.
int report_load_failure(int ret, const char *path, int err) {
  say(stderr, "Load %s failed: %s\n", path, strerror(err));
  return ret;
}

// How an exercise exchanges its record with the library, and the names its failures carry.
template <typename Record>
struct RecordCalls {
  int (*fetch)(FecContext ctx, Record *record);
  int (*apply)(FecContext ctx, Record *record);
  const char *fetch_failure;
  const char *apply_failure;
};

const RecordCalls<FecConfig> kCfgCalls = {tq_lenswarp_api_get_cfg, tq_lenswarp_api_set_cfg,
                                          "tq_lenswarp_api_get_cfg", "tq_lenswarp_api_set_cfg"};
const RecordCalls<FecMeshConfig> kMeshCalls = {tq_lenswarp_api_get_mesh_config,
                                               tq_lenswarp_api_set_mesh_config, "Get mesh config",
                                               "Set mesh config"};
const RecordCalls<FecMeshConfig> kMeshInMemoryCalls = {
    tq_lenswarp_api_get_mesh_config, tq_lenswarp_api_set_mesh_config, "Get config", "Set config"};

struct NothingMore {
  template <typename Record>
  void operator()(const Record &) const {}
};

// What every changing exercise does: ten iterations, each fetching the record afresh, letting
// `change` edit it (a non-zero result stops the exercise with that result), handing it back, then
// `applied`, the pause and an empty line. The record is zero-filled once, before the first fetch.
// Returns 0, or the result of the call that stopped the iterations.
template <typename Record, typename Change, typename Applied = NothingMore>
int iterate(FecContext ctx, const RecordCalls<Record> &calls, useconds_t pause, Change change,
            Applied applied = Applied()) {
  Record record;
  memset(&record, 0, sizeof(record));
  for (int i = 0; i < kIterations; ++i) {
    int ret = calls.fetch(ctx, &record);
    if (ret != 0) return report_failure(ret, calls.fetch_failure);
    ret = change(&record);
    if (ret != 0) return ret;
    ret = calls.apply(ctx, &record);
    if (ret != 0) return report_failure(ret, calls.apply_failure);
    applied(record);
    exercise_pause(pause);
    say(stdout, "\n");
  }
  return 0;
}

}  // namespace

int read_mesh_file(const char *path, void *buf, size_t buf_size) {
  // Not blocking: a FIFO is refused below, not waited on.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    int err = errno;
    say(stderr, "open file %s failed: %s\n", path, strerror(err));
    if (fd >= 0) close(fd);
    errno = err;
    return -1;
  }
  int err = 0;
  if (!S_ISREG(st.st_mode)) {
    say(stderr, "mesh file %s is not a regular file\n", path);
    err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  } else if ((uint64_t)st.st_size != buf_size) {
    say(stderr, "mesh file %s has %lld bytes, not the mesh size %zu\n", path, (long long)st.st_size,
        buf_size);
    err = EINVAL;
  } else {
    size_t got = 0;
    while (got < buf_size) {
      ssize_t n = read(fd, static_cast<char *>(buf) + got, buf_size - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        err = n < 0 ? errno : ENODATA;  // ENODATA: it shrank while being read
        break;
      }
      got += (size_t)n;
    }
    if (got < buf_size) say(stderr, "file read size:%zu < %zu\n", got, buf_size);
    if (err == 0) say(stdout, "mesh file len %zu, read size %zu\n", buf_size, got);
  }
  close(fd);
  errno = err;
  return err == 0 ? 0 : -1;
}

void set_exercise_pause(ExercisePause pause) {
  exercise_pause = pause != nullptr ? pause : pause_by_sleeping;
}

int api_test_set_cfg(FecContext ctx) {
  return iterate(
      ctx, kCfgCalls, kPause,
      [](FecConfig *cfg) {
        cfg->online.correct_level = toggled_level(cfg->online.correct_level);
        return 0;
      },
      [](const FecConfig &cfg) {
        say(stdout, "set cfg: correct_level = %d\n", cfg.online.correct_level);
      });
}

int api_test_mesh_online(FecContext ctx) {
  return iterate(ctx, kMeshCalls, kPause, [](FecMeshConfig *mesh) {
    mesh->mode = FEC_MESH_CFG_ONLINE;
    mesh->online_config.correct_level = toggled_level(mesh->online_config.correct_level);
    return 0;
  });
}

int api_test_mesh_from_file(FecContext ctx) {
  return iterate(ctx, kMeshCalls, kFilePause, [](FecMeshConfig *mesh) {
    // The reported path need not be terminated within its 256 characters.
    char reported[kPathSize + 1];
    static_assert(sizeof(mesh->path) == kPathSize, "path field");
    memcpy(reported, mesh->path, kPathSize);
    reported[kPathSize] = '\0';
    say(stdout, "Get mesh path: %s\n", reported);
    const char *next = next_mesh_path(reported);
    copy_path(mesh->path, next);
    mesh->mode = FEC_MESH_CFG_FILE;
    say(stdout, "Set mesh config: %s\n", next);
    return 0;
  });
}

int api_test_mesh_from_vaddr(FecContext ctx) {
  // The run's own mesh size, which the job limits keep within an int.
  const int size =
      6 * tq_lenswarp_api_calFecMeshsize((int)run_settings.out_width, (int)run_settings.out_height);
  void *buf = size > 0 ? malloc((size_t)size) : nullptr;
  if (buf == nullptr) {
    say(stderr, "Memory allocation failed for %d-byte mesh buffer\n", size);
    return -ENOMEM;
  }
  int ret = iterate(ctx, kMeshInMemoryCalls, kPause, [buf, size](FecMeshConfig *mesh) {
    mesh->mode = FEC_MESH_CFG_MEMORY;
    mesh->vaddr = (uintptr_t)buf;
    mesh->size = (uint32_t)size;
    mesh->use_vaddr = 1;
    const char *path = next_mesh_path(vaddr_last_mesh_path);
    int loaded = read_mesh_file(path, buf, (size_t)size);
    if (loaded != 0) return report_load_failure(loaded, path, errno);
    remember_path(vaddr_last_mesh_path, path);
    say(stdout, "Set mesh config: %s, via vaddr\n", path);
    return 0;
  });
  free(buf);
  return ret;
}

int api_test_mesh_from_dma_fd(FecContext ctx) {
  return iterate(ctx, kMeshInMemoryCalls, kPause, [](FecMeshConfig *mesh) {
    const bool second = strstr(dma_fd_last_mesh_path, level000_path()) != nullptr;
    const char *path = second ? level200_path() : level000_path();
    const DmaBuffer &buf = run_bufs.mesh[second ? 1 : 0];
    mesh->use_vaddr = 0;
    mesh->dma_fd = buf.fd;
    mesh->vaddr = (uintptr_t)buf.vaddr;
    mesh->size = (uint32_t)buf.size;
    // The CPU fills a buffer the engine reads by DMA: bracket the write where the back end
    // needs it, as the input load does.
    sync_cpu_access(buf, DMA_BUF_SYNC_START | DMA_BUF_SYNC_WRITE, "DMA mesh sync(pre-write)");
    int loaded = read_mesh_file(path, buf.vaddr, mesh->size);
    int err = errno;
    sync_cpu_access(buf, DMA_BUF_SYNC_END | DMA_BUF_SYNC_WRITE, "DMA mesh sync(post-write)");
    if (loaded != 0) return report_load_failure(loaded, path, err);
    remember_path(dma_fd_last_mesh_path, path);
    say(stdout, "Loaded %s with DMA FD %d\n", path, buf.fd);
    mesh->mode = FEC_MESH_CFG_MEMORY;
    return 0;
  });
}

int api_test_get_mesh(FecContext ctx) {
  FecMeshConfig mesh;
  memset(&mesh, 0, sizeof(mesh));
  int ret = tq_lenswarp_api_get_mesh_config(ctx, &mesh);
  if (ret != 0) return report_failure(ret, "Get mesh config");
  const FecOnlineConfig &o = mesh.online_config;
  say(stdout, "Get mesh config: mode: %d\n", (int)mesh.mode);
  say(stdout, "Get mesh online_config: calib_width: %d, calib_height: %d\n", o.calib_width,
      o.calib_height);
  say(stdout, "Get mesh online_config: optic_center: %.4f %.4f\n", o.light_center[0],
      o.light_center[1]);
  say(stdout, "Get mesh online_config: coeff: %.16f %.16f %.16f %.16f\n", o.coeff[0], o.coeff[1],
      o.coeff[2], o.coeff[3]);
  say(stdout, "Get mesh online_config: level: %d\n", o.correct_level);
  return 0;
}
