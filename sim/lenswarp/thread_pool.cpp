#include "thread_pool.h"

namespace lenswarp {

ThreadPool::ThreadPool(int threads) {
  for (int i = 1; i < threads && i < kMaxThreads; ++i) {
    mWorkers.emplace_back([this] { worker_loop(); });
  }
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard<std::mutex> guard(mLock);
    mStop = true;
  }
  mWake.notify_all();
  for (std::thread &t : mWorkers) t.join();
}

void ThreadPool::take_items() {
  for (int item = mNext.fetch_add(1); item < mCount; item = mNext.fetch_add(1)) mFn(mArg, item);
}

void ThreadPool::run(int count, WorkFn fn, void *arg) {
  std::lock_guard<std::mutex> one_run(mRunLock);
  {
    std::lock_guard<std::mutex> guard(mLock);
    mFn = fn;
    mArg = arg;
    mCount = count;
    mNext.store(0);
    mBusy = (int)mWorkers.size();
    ++mGeneration;
  }
  mWake.notify_all();
  take_items();
  std::unique_lock<std::mutex> lock(mLock);
  mDone.wait(lock, [this] { return mBusy == 0; });
}

void ThreadPool::worker_loop() {
  uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mLock);
  for (;;) {
    mWake.wait(lock, [&] { return mStop || mGeneration != seen; });
    if (mStop) return;
    seen = mGeneration;
    lock.unlock();
    take_items();
    lock.lock();
    if (--mBusy == 0) mDone.notify_one();
  }
}

}  // namespace lenswarp
