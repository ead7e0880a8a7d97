// A fixed set of worker threads that share out numbered work items; made once, reused for
// every frame, so a frame starts no thread and allocates nothing.
#ifndef SIM_LENSWARP_THREAD_POOL_H
#define SIM_LENSWARP_THREAD_POOL_H

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace lenswarp {

class ThreadPool {
 public:
  using WorkFn = void (*)(void *arg, int item);
  static constexpr int kMaxThreads = 256;

  // `threads` counts the caller too: threads - 1 workers are started (none for 1 or less), at
  // most kMaxThreads - 1.
  explicit ThreadPool(int threads);
  ~ThreadPool();
  ThreadPool(const ThreadPool &) = delete;
  ThreadPool &operator=(const ThreadPool &) = delete;

  int size() const { return (int)mWorkers.size() + 1; }

  // Calls fn(arg, item) once for every item in [0, count), spread over the workers and the
  // calling thread; returns when all calls have returned. Calls from several threads run one
  // after the other.
  void run(int count, WorkFn fn, void *arg);

 private:
  void worker_loop();
  void take_items();

  std::mutex mRunLock;  // one run at a time
  std::mutex mLock;
  std::condition_variable mWake;
  std::condition_variable mDone;
  uint64_t mGeneration = 0;  // bumped for every run
  int mBusy = 0;             // workers still in the current run
  bool mStop = false;
  WorkFn mFn = nullptr;
  void *mArg = nullptr;
  int mCount = 0;
  std::atomic<int> mNext{0};
  std::vector<std::thread> mWorkers;
};

}  // namespace lenswarp

#endif  // SIM_LENSWARP_THREAD_POOL_H
