// The call trace: with LENSWARP_TRACE naming a file, one JSON object per line per call,
// appended, with the records decoded by field name.
#ifndef SIM_LENSWARP_CALL_TRACE_H
#define SIM_LENSWARP_CALL_TRACE_H

#include <lenswarp_api.h>
#include <stdint.h>

#include <nlohmann/json.hpp>

namespace lenswarp {

// CLOCK_MONOTONIC now, in nanoseconds.
int64_t monotonic_ns();

// One trace line under construction. Cheap to make when tracing is off.
class TraceLine {
 public:
  // A line for the process's trace file.
  TraceLine(const char *op, int64_t t_ns);
  // A line for the descriptor `fd`; none is made for -1.
  TraceLine(const char *op, int64_t t_ns, int fd);
  bool enabled() const { return mEnabled; }
  TraceLine &num(const char *key, long long value);
  TraceLine &unum(const char *key, unsigned long long value);
  TraceLine &str(const char *key, const char *text, size_t max_len);
  TraceLine &online(const char *key, const FecOnlineConfig &cfg);
  TraceLine &config(const char *key, const FecConfig *cfg);
  TraceLine &mesh_config(const char *key, const FecMeshConfig *cfg);
  TraceLine &buffer(const char *key, const DmaBuffer *buf);
  // Adds "ret" (and "errno" when `ret` is a failure), "t_ns", and appends the line.
  void finish(long long ret, bool failed, int err);

 private:
  using Json = nlohmann::ordered_json;  // members in the order they are added
  static Json online_json(const FecOnlineConfig &cfg);
  // `text` up to `max_len` bytes or its terminator, each byte its own character (a path's bytes
  // stay visible whatever their encoding).
  static Json bytes_json(const char *text, size_t max_len);

  bool mEnabled;
  int mFd;
  int64_t mStart;
  Json mLine;
};

}  // namespace lenswarp

#endif  // SIM_LENSWARP_CALL_TRACE_H
