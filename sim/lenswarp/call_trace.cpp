#include "call_trace.h"

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <mutex>

#include "library_settings.h"

namespace lenswarp {
namespace {

// The trace descriptor is opened on first use and kept for the life of the process, so that
// lines of concurrent calls are appended whole.
int trace_fd() {
  static int fd = [] {
    const std::string &path = library_settings().trace_path;
    if (path.empty()) return -1;
    return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  }();
  return fd;
}

// A whole number as the integer it is ("1920", "0"), as the trace has always written it, where a
// reader may take the type from the text; any other number in its shortest exact form.
nlohmann::ordered_json number_json(double v) {
  if (std::isfinite(v) && std::trunc(v) == v && std::fabs(v) < 1e17 &&
      !(v == 0 && std::signbit(v))) {
    return (int64_t)v;
  }
  return v;
}

}  // namespace

int64_t monotonic_ns() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

TraceLine::TraceLine(const char *op, int64_t t_ns) : TraceLine(op, t_ns, trace_fd()) {}

TraceLine::TraceLine(const char *op, int64_t t_ns, int fd)
    : mEnabled(fd >= 0), mFd(fd), mStart(t_ns) {
  if (mEnabled) mLine["op"] = op;
}

TraceLine::Json TraceLine::bytes_json(const char *text, size_t max_len) {
  // As Latin-1, so that every byte above 0x7f is one character, written as \u00XX.
  std::string utf8;
  for (size_t i = 0; i < max_len && text[i] != '\0'; ++i) {
    unsigned char c = (unsigned char)text[i];
    if (c < 0x80) {
      utf8 += (char)c;
    } else {
      utf8 += (char)(0xC0 | (c >> 6));
      utf8 += (char)(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

TraceLine &TraceLine::num(const char *name, long long value) {
  if (mEnabled) mLine[name] = value;
  return *this;
}

TraceLine &TraceLine::unum(const char *name, unsigned long long value) {
  if (mEnabled) mLine[name] = value;
  return *this;
}

TraceLine &TraceLine::str(const char *name, const char *text, size_t max_len) {
  if (mEnabled) mLine[name] = text == nullptr ? Json(nullptr) : bytes_json(text, max_len);
  return *this;
}

TraceLine::Json TraceLine::online_json(const FecOnlineConfig &o) {
  // A value that is no number (NaN, infinity) is written as null.
  return {{"light_center", {number_json(o.light_center[0]), number_json(o.light_center[1])}},
          {"coeff",
           {number_json(o.coeff[0]), number_json(o.coeff[1]), number_json(o.coeff[2]),
            number_json(o.coeff[3])}},
          {"direction", o.direction},
          {"style", o.style},
          {"correct_level", o.correct_level},
          {"calib_width", o.calib_width},
          {"calib_height", o.calib_height},
          {"calib_level_maxLimit", o.calib_level_maxLimit}};
}

TraceLine &TraceLine::online(const char *name, const FecOnlineConfig &o) {
  if (mEnabled) mLine[name] = online_json(o);
  return *this;
}

TraceLine &TraceLine::config(const char *name, const FecConfig *c) {
  if (!mEnabled) return *this;
  if (c == nullptr) {
    mLine[name] = nullptr;
    return *this;
  }
  // Both views of the union, whatever the mode: a program may write either (a level change on a
  // mesh-file job), and the trace shows what it handed over.
  mLine[name] = {{"header", c->header},
                 {"size", c->size},
                 {"width", c->width},
                 {"height", c->height},
                 {"out_width", c->out_width},
                 {"out_height", c->out_height},
                 {"pixelformat", c->pixelformat},
                 {"out_pixelformat", c->out_pixelformat},
                 {"border_mode", c->border_mode},
                 {"cross_buf_mode", c->cross_buf_mode},
                 {"bg_y", c->bg_y},
                 {"bg_u", c->bg_u},
                 {"bg_v", c->bg_v},
                 {"mesh_fd", c->mesh_fd},
                 {"mesh_vaddr", c->mesh_vaddr},
                 {"mesh_size", c->mesh_size},
                 {"mesh_name", bytes_json(c->mesh_name, sizeof(c->mesh_name))},
                 {"mesh_mode", c->mesh_mode},
                 {"mesh_dir", bytes_json(c->mesh_dir, sizeof(c->mesh_dir))},
                 {"online", online_json(c->online)},
                 {"offset_x", c->offset_x},
                 {"out_offset_x", c->out_offset_x},
                 {"stride", c->stride},
                 {"out_stride", c->out_stride},
                 {"ini_path", bytes_json(c->ini_path, sizeof(c->ini_path))}};
  return *this;
}

TraceLine &TraceLine::mesh_config(const char *name, const FecMeshConfig *m) {
  if (!mEnabled) return *this;
  if (m == nullptr) {
    mLine[name] = nullptr;
    return *this;
  }
  Json record = {{"mode", m->mode}};
  switch (m->mode) {
    case FEC_MESH_CFG_ONLINE:
      record["online_config"] = online_json(m->online_config);
      break;
    case FEC_MESH_CFG_FILE:
      record["path"] = bytes_json(m->path, sizeof(m->path));
      break;
    case FEC_MESH_CFG_MEMORY:
      record["dma_fd"] = m->dma_fd;
      record["vaddr"] = m->vaddr;
      record["size"] = m->size;
      record["use_vaddr"] = m->use_vaddr;
      break;
    default:
      break;
  }
  mLine[name] = record;
  return *this;
}

TraceLine &TraceLine::buffer(const char *name, const DmaBuffer *b) {
  if (!mEnabled) return *this;
  if (b == nullptr) {
    mLine[name] = nullptr;
    return *this;
  }
  mLine[name] = {{"handle", b->handle},
                 {"fd", b->fd},
                 {"size", (long long)b->size},
                 {"vaddr", (unsigned long long)(uintptr_t)b->vaddr}};
  return *this;
}

void TraceLine::finish(long long ret, bool failed, int err) {
  if (!mEnabled) return;
  num("ret", ret);
  if (failed) num("errno", err);
  num("t_ns", mStart);
  num("dur_ns", monotonic_ns() - mStart);
  // ASCII only: the bytes of bytes_json come out as \u00XX, as the trace has always shown them.
  const std::string text = mLine.dump(-1, ' ', true) + "\n";
  // One write per line on an O_APPEND descriptor keeps concurrent lines whole.
  ssize_t n = write(mFd, text.data(), text.size());
  (void)n;
}

}  // namespace lenswarp
