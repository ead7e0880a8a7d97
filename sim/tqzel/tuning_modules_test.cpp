#include "tuning_modules.h"

#include <gtest/gtest.h>

namespace {

DumpRequest moduleRequest(const std::string &module, std::vector<std::string> args = {}) {
  DumpRequest r;
  r.valid = true;
  r.uri = "dump";
  r.hasModule = true;
  r.module = module;
  r.moduleArgs = args;
  return r;
}

TEST(TuningModules, AllListsEveryModuleInOrder) {
  std::string dump = dumpFor(moduleRequest("all"));
  size_t at = 0;
  for (const std::string &name : moduleNames()) {
    size_t next = dump.find("[" + name + "]\n");
    ASSERT_NE(std::string::npos, next) << name;
    EXPECT_LT(at, next) << name;
    at = next;
  }
  EXPECT_GE(moduleNames().size(), 5u);
}

TEST(TuningModules, ANamedModuleEchoesItsArguments) {
  std::string dump = dumpFor(moduleRequest("gamma", {"a b", "c"}));
  EXPECT_EQ(0u, dump.find("[gamma]\n"));
  EXPECT_NE(std::string::npos, dump.find("  moduleArgs         : (2) \"a b\" \"c\"\n"));
  EXPECT_EQ(std::string::npos, dump.find("[ae]"));
  EXPECT_NE(std::string::npos, dumpFor(moduleRequest("gamma")).find("moduleArgs         : (0)\n"));
}

TEST(TuningModules, ErrorsAreShortTexts) {
  EXPECT_EQ("tqzel: unknown module \"x\"\n", dumpFor(moduleRequest("x")));
  DumpRequest bad;
  bad.error = "bad request JSON";
  EXPECT_EQ("tqzel: bad request JSON\n", dumpFor(bad));
  DumpRequest none;
  none.valid = true;
  none.uri = "dump";
  EXPECT_EQ("tqzel: no module named\n", dumpFor(none));
}

}  // namespace
