#include "service_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool parse(std::vector<std::string> words, ServiceOptions *options, std::string *error) {
  words.insert(words.begin(), "tqzel-sim");
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  return parseServiceOptions((int)words.size(), argv.data(), options, error);
}

TEST(ServiceOptions, DefaultsAndEveryOption) {
  ServiceOptions o;
  std::string error;
  ASSERT_TRUE(parse({}, &o, &error));
  EXPECT_EQ(4894, o.port);
  EXPECT_EQ(-1, o.size);
  ASSERT_TRUE(parse({"--port", "0", "--socket", "/tmp/s", "--delay", "5", "--drip", "1500",
                     "--size", "4294967295", "--send-only", "0", "--never-answer",
                     "--close-at-once", "--help", "--version"},
                    &o, &error))
      << error;
  EXPECT_EQ(0, o.port);
  EXPECT_EQ("/tmp/s", o.socketPath);
  EXPECT_EQ(5, o.delayMs);
  EXPECT_EQ(1500, o.dripMs);
  EXPECT_EQ(4294967295, o.size);
  EXPECT_EQ(0, o.sendOnly);
  EXPECT_TRUE(o.neverAnswer && o.closeAtOnce && o.help && o.version);
}

TEST(ServiceOptions, BadValuesAreRefused) {
  struct {
    std::vector<std::string> words;
    std::string error;
  } cases[] = {
      {{"--port", "65536"}, "bad port: 65536"},
      {{"--port", "-1"}, "bad port: -1"},
      {{"--size", "4294967296"}, "bad byte count: 4294967296"},
      {{"--send-only", "x"}, "bad byte count: x"},
      {{"--delay", "1s"}, "bad delay: 1s"},
      {{"--drip", "0"}, "bad drip interval: 0"},
      {{"--drip", "3600001"}, "bad drip interval: 3600001"},
      {{"--bogus"}, "unknown or incomplete option: --bogus"},
      {{"--port"}, "unknown or incomplete option: --port"},
      {{"extra"}, "unexpected argument: extra"},
  };
  for (const auto &c : cases) {
    ServiceOptions o;
    std::string error;
    EXPECT_FALSE(parse(c.words, &o, &error)) << c.words[0];
    EXPECT_EQ(c.error, error);
  }
}

}  // namespace
