#include "thread_pool.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <set>
#include <thread>
#include <vector>

namespace {

struct Tally {
  std::vector<std::atomic<int>> calls;
  std::mutex lock;
  std::condition_variable another_thread;
  std::set<std::thread::id> threads;
  // Item 0 holds its thread until another thread has taken an item, so a pool that shares out
  // its items must show a second thread whatever the scheduler does.
  bool hold_first = false;
  explicit Tally(int n) : calls((size_t)n) {}
};

void count_item(void *arg, int item) {
  Tally *t = static_cast<Tally *>(arg);
  t->calls[(size_t)item].fetch_add(1);
  std::unique_lock<std::mutex> lock(t->lock);
  t->threads.insert(std::this_thread::get_id());
  t->another_thread.notify_all();
  if (item == 0 && t->hold_first) {
    // The time-out only ends the wait of a pool that never uses a second thread.
    t->another_thread.wait_for(lock, std::chrono::seconds(60),
                               [t] { return t->threads.size() > 1; });
  }
}

TEST(ThreadPool, RunsEveryItemOnceAcrossItsThreadsRunAfterRun) {
  for (int threads : {1, 2, 4}) {
    lenswarp::ThreadPool pool(threads);
    EXPECT_EQ(threads, pool.size());
    for (int count : {0, 1, 7, 135}) {
      Tally tally(count);
      tally.hold_first = count >= 7 && threads > 1;
      pool.run(count, count_item, &tally);
      for (int i = 0; i < count; ++i) ASSERT_EQ(1, tally.calls[(size_t)i].load()) << i;
      if (tally.hold_first) {
        EXPECT_GT(tally.threads.size(), 1u) << threads;
      }
      EXPECT_LE(tally.threads.size(), (size_t)threads);
    }
  }
}

TEST(ThreadPool, RunsFromSeveralThreadsTakeTurns) {
  lenswarp::ThreadPool pool(3);
  std::vector<std::thread> callers;
  std::vector<std::unique_ptr<Tally>> tallies;
  for (int c = 0; c < 4; ++c) tallies.push_back(std::make_unique<Tally>(20));
  for (int c = 0; c < 4; ++c) {
    callers.emplace_back([&pool, t = tallies[(size_t)c].get()] { pool.run(20, count_item, t); });
  }
  for (std::thread &t : callers) t.join();
  for (const auto &t : tallies) {
    for (int i = 0; i < 20; ++i) ASSERT_EQ(1, t->calls[(size_t)i].load());
  }
}

}  // namespace
