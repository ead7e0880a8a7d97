#include "tuning_modules.h"

#include <gtest/gtest.h>

#include <sstream>

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

const std::vector<std::string> kModules = {"ae", "awb", "ccm", "gamma", "lsc", "nr", "sharp"};

TEST(TuningModules, AllHasAHeadThenTheSevenModulesInOrder) {
  EXPECT_EQ(kModules, moduleNames());
  std::istringstream dump(dumpFor(moduleRequest("all")));
  std::string head;
  std::getline(dump, head);
  EXPECT_EQ("TQZEL v3.1.4 (simulated) tuning dump, 7 modules", head);
  std::vector<std::string> sections;
  for (std::string line; std::getline(dump, line);) {
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      sections.push_back(line.substr(1, line.size() - 2));
    }
  }
  EXPECT_EQ(kModules, sections);
}

TEST(TuningModules, ANamedModuleIsItsSectionWithItsArgumentsEchoed) {
  EXPECT_EQ(
      "[gamma]\n"
      "  curve              : 0 18 36 54 71 88 104 120 135 150 164 178 191 204 217 229 241 255\n"
      "  moduleArgs         : (2) \"a b\" \"c\"\n",
      dumpFor(moduleRequest("gamma", {"a b", "c"})));
  EXPECT_EQ(
      "[sharp]\n"
      "  strength           : 40\n"
      "  edge_threshold     : 12\n"
      "  moduleArgs         : (0)\n",
      dumpFor(moduleRequest("sharp")));
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
