#include "library_settings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using lenswarp::LibrarySettings;

LibrarySettings settings_of(const std::map<std::string, const char *> &env, long cpus = 6) {
  return lenswarp::parse_library_settings(
      [&](const char *name) {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second;
      },
      cpus);
}

TEST(LibrarySettings, ThreadsArePositiveNumbersElseTheOnlineCpus) {
  struct Case {
    const char *value;  // null: unset
    long cpus;
    int threads;
  };
  const Case cases[] = {{nullptr, 6, 6}, {"3", 6, 3},      {"1", 6, 1},        {"0", 6, 6},
                        {"-2", 6, 6},    {"4x", 6, 6},     {"", 6, 6},         {"999", 6, 256},
                        {nullptr, 0, 1}, {nullptr, -1, 1}, {nullptr, 300, 256}};
  for (const Case &c : cases) {
    const LibrarySettings s =
        c.value ? settings_of({{"LENSWARP_THREADS", c.value}}, c.cpus) : settings_of({}, c.cpus);
    EXPECT_EQ(c.threads, s.threads) << (c.value ? c.value : "unset") << ", cpus " << c.cpus;
  }
}

TEST(LibrarySettings, TraceKernelAndFaultTakeTheirValues) {
  const LibrarySettings none = settings_of({});
  EXPECT_EQ("", none.trace_path);
  EXPECT_EQ("", none.kernel);
  EXPECT_EQ(0, none.fail_process_at);

  const LibrarySettings set = settings_of({{"LENSWARP_TRACE", "/tmp/t.jsonl"},
                                           {"LENSWARP_KERNEL", "scalar"},
                                           {"LENSWARP_FAIL_PROCESS_AT", "3"}});
  EXPECT_EQ("/tmp/t.jsonl", set.trace_path);
  EXPECT_EQ("scalar", set.kernel);
  EXPECT_EQ(3, set.fail_process_at);
  EXPECT_EQ(0, settings_of({{"LENSWARP_FAIL_PROCESS_AT", "x"}}).fail_process_at);
}

TEST(LibrarySettings, TheKernelNamedOrTheDefaultOrNone) {
  EXPECT_EQ(&lenswarp::default_warp_kernel(), lenswarp::chosen_kernel(settings_of({})));
  EXPECT_EQ(&lenswarp::default_warp_kernel(),
            lenswarp::chosen_kernel(settings_of({{"LENSWARP_KERNEL", ""}})));
  EXPECT_EQ(&lenswarp::scalar_kernel(),
            lenswarp::chosen_kernel(settings_of({{"LENSWARP_KERNEL", "scalar"}})));
  for (const lenswarp::WarpKernel *k : lenswarp::warp_kernels()) {
    EXPECT_EQ(k, lenswarp::chosen_kernel(settings_of({{"LENSWARP_KERNEL", k->name}})));
  }
  for (const char *other : {"simd", "Scalar", "scalar ", "AVX9"}) {
    EXPECT_EQ(nullptr, lenswarp::chosen_kernel(settings_of({{"LENSWARP_KERNEL", other}}))) << other;
  }
}

}  // namespace
