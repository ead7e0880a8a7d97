// The call trace: with LENSWARP_TRACE naming a file, one JSON object per line per call,
// appended, with the records decoded by field name.
#ifndef SIM_LENSWARP_CALL_TRACE_H
#define SIM_LENSWARP_CALL_TRACE_H

#include <lenswarp_api.h>
#include <stdint.h>

#include <string>

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
  // The key of the next member, after a comma unless it is an object's first.
  void key(const char *name);
  // Starts the object `name`, or writes null for an absent record and returns false.
  bool open_record(const char *name, const void *record);
  void raw_double(double v);
  void raw_string(const char *text, size_t max_len);

  bool mEnabled;
  int mFd;
  int64_t mStart;
  std::string mText;
};

}  // namespace lenswarp

#endif  // SIM_LENSWARP_CALL_TRACE_H
