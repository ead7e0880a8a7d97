#include "call_trace.h"

#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

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

}  // namespace

int64_t monotonic_ns() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

TraceLine::TraceLine(const char *op, int64_t t_ns) : TraceLine(op, t_ns, trace_fd()) {}

TraceLine::TraceLine(const char *op, int64_t t_ns, int fd)
    : mEnabled(fd >= 0), mFd(fd), mStart(t_ns) {
  if (!mEnabled) return;
  mText.reserve(512);
  mText = "{";
  key("op");
  raw_string(op, strlen(op));
}

void TraceLine::key(const char *name) {
  if (mText.back() != '{') mText += ',';
  raw_string(name, strlen(name));
  mText += ':';
}

bool TraceLine::open_record(const char *name, const void *record) {
  if (!mEnabled) return false;
  key(name);
  if (record == nullptr) {
    mText += "null";
    return false;
  }
  mText += '{';
  return true;
}

void TraceLine::raw_string(const char *text, size_t max_len) {
  mText += '"';
  for (size_t i = 0; i < max_len && text[i] != '\0'; ++i) {
    unsigned char c = (unsigned char)text[i];
    if (c == '"' || c == '\\') {
      mText += '\\';
      mText += (char)c;
    } else if (c < 0x20 || c >= 0x7f) {
      // Bytes outside printable ASCII are shown by value, so the line stays valid JSON.
      char esc[8];
      snprintf(esc, sizeof(esc), "\\u%04x", c);
      mText += esc;
    } else {
      mText += (char)c;
    }
  }
  mText += '"';
}

void TraceLine::raw_double(double v) {
  if (!isfinite(v)) {
    mText += "null";
    return;
  }
  char buf[32];
  snprintf(buf, sizeof(buf), "%.17g", v);
  mText += buf;
}

TraceLine &TraceLine::num(const char *name, long long value) {
  if (!mEnabled) return *this;
  key(name);
  mText += std::to_string(value);
  return *this;
}

TraceLine &TraceLine::unum(const char *name, unsigned long long value) {
  if (!mEnabled) return *this;
  key(name);
  mText += std::to_string(value);
  return *this;
}

TraceLine &TraceLine::str(const char *name, const char *text, size_t max_len) {
  if (!mEnabled) return *this;
  key(name);
  if (text == nullptr) {
    mText += "null";
  } else {
    raw_string(text, max_len);
  }
  return *this;
}

TraceLine &TraceLine::online(const char *name, const FecOnlineConfig &o) {
  if (!open_record(name, &o)) return *this;
  key("light_center");
  mText += '[';
  raw_double(o.light_center[0]);
  mText += ',';
  raw_double(o.light_center[1]);
  mText += ']';
  key("coeff");
  mText += '[';
  for (int i = 0; i < 4; ++i) {
    if (i > 0) mText += ',';
    raw_double(o.coeff[i]);
  }
  mText += ']';
  num("direction", o.direction);
  num("style", o.style);
  num("correct_level", o.correct_level);
  num("calib_width", o.calib_width);
  num("calib_height", o.calib_height);
  num("calib_level_maxLimit", o.calib_level_maxLimit);
  mText += '}';
  return *this;
}

TraceLine &TraceLine::config(const char *name, const FecConfig *c) {
  if (!open_record(name, c)) return *this;
  unum("header", c->header);
  unum("size", c->size);
  unum("width", c->width);
  unum("height", c->height);
  unum("out_width", c->out_width);
  unum("out_height", c->out_height);
  unum("pixelformat", c->pixelformat);
  unum("out_pixelformat", c->out_pixelformat);
  num("border_mode", c->border_mode);
  num("cross_buf_mode", c->cross_buf_mode);
  unum("bg_y", c->bg_y);
  unum("bg_u", c->bg_u);
  unum("bg_v", c->bg_v);
  num("mesh_fd", c->mesh_fd);
  unum("mesh_vaddr", c->mesh_vaddr);
  unum("mesh_size", c->mesh_size);
  str("mesh_name", c->mesh_name, sizeof(c->mesh_name));
  unum("mesh_mode", c->mesh_mode);
  // Both views of the union, whatever the mode: a program may write either (a level change on a
  // mesh-file job), and the trace shows what it handed over.
  str("mesh_dir", c->mesh_dir, sizeof(c->mesh_dir));
  online("online", c->online);
  num("offset_x", c->offset_x);
  num("out_offset_x", c->out_offset_x);
  num("stride", c->stride);
  num("out_stride", c->out_stride);
  str("ini_path", c->ini_path, sizeof(c->ini_path));
  mText += '}';
  return *this;
}

TraceLine &TraceLine::mesh_config(const char *name, const FecMeshConfig *m) {
  if (!open_record(name, m)) return *this;
  unum("mode", m->mode);
  switch (m->mode) {
    case FEC_MESH_CFG_ONLINE:
      online("online_config", m->online_config);
      break;
    case FEC_MESH_CFG_FILE:
      str("path", m->path, sizeof(m->path));
      break;
    case FEC_MESH_CFG_MEMORY:
      num("dma_fd", m->dma_fd);
      unum("vaddr", m->vaddr);
      unum("size", m->size);
      unum("use_vaddr", m->use_vaddr);
      break;
    default:
      break;
  }
  mText += '}';
  return *this;
}

TraceLine &TraceLine::buffer(const char *name, const DmaBuffer *b) {
  if (!open_record(name, b)) return *this;
  unum("handle", b->handle);
  num("fd", b->fd);
  num("size", (long long)b->size);
  unum("vaddr", (uintptr_t)b->vaddr);
  mText += '}';
  return *this;
}

void TraceLine::finish(long long ret, bool failed, int err) {
  if (!mEnabled) return;
  num("ret", ret);
  if (failed) num("errno", err);
  num("t_ns", mStart);
  num("dur_ns", monotonic_ns() - mStart);
  mText += "}\n";
  // One write per line on an O_APPEND descriptor keeps concurrent lines whole.
  ssize_t n = write(mFd, mText.data(), mText.size());
  (void)n;
}

}  // namespace lenswarp
