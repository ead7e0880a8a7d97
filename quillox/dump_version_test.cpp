#include "dump_version.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "fake_tools.h"

namespace {

const char kHead[] = "----------------- libtqzel version -----------------\n";

class DumpVersionTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char *name : {"PATH", "LD_LIBRARY_PATH"}) {
      const char *value = getenv(name);
      mSaved.push_back({name, value != nullptr, value != nullptr ? value : ""});
    }
    unsetenv("LD_LIBRARY_PATH");
  }
  void TearDown() override {
    for (const auto &s : mSaved) {
      if (s.set) {
        setenv(s.name.c_str(), s.value.c_str(), 1);
      } else {
        unsetenv(s.name.c_str());
      }
    }
  }

  // A directory under the scratch directory, holding a libtqzel.so when `texts` is given.
  std::string libDir(const std::string &name, const std::vector<std::string> *texts = nullptr) {
    std::string dir = mDir.make_dir(name);
    if (texts != nullptr) mDir.write(name + "/libtqzel.so", fakeTqzelLibrary(*texts));
    return dir;
  }

  // Sets LD_LIBRARY_PATH to `count` directories "/dN" (unset for none) and returns them.
  std::vector<std::string> setDirectories(int count) {
    std::vector<std::string> dirs;
    std::string value;
    for (int i = 0; i < count; ++i) {
      dirs.push_back("/d" + std::to_string(i));
      value += (i > 0 ? ":" : "") + dirs.back();
    }
    if (count > 0) {
      setenv("LD_LIBRARY_PATH", value.c_str(), 1);
    } else {
      unsetenv("LD_LIBRARY_PATH");
    }
    return dirs;
  }

  std::vector<std::string> table() const {
    std::vector<std::string> entries;
    for (const auto &entry : sLibCommPath) entries.push_back(entry);
    return entries;
  }

  struct Saved {
    std::string name;
    bool set;
    std::string value;
  };
  std::vector<Saved> mSaved;
  ScratchDir mDir;
  DumpVersion mVersion;
};

std::vector<std::string> withDefaults(std::vector<std::string> entries) {
  for (const char *d :
       {"/lib/", "/lib64/", "/oem/usr/lib", "/usr/lib", "/vendor/lib", "/system/lib", "", ""}) {
    entries.push_back(d);
  }
  entries.resize(kLibCommPathCount);
  return entries;
}

TEST_F(DumpVersionTest, WithoutLdLibraryPathOnlyTheDefaultsAreSearched) {
  EXPECT_TRUE(mVersion.getLibPath());
  EXPECT_EQ(withDefaults({}), table());
}

TEST_F(DumpVersionTest, LdLibraryPathDirectoriesComeFirst) {
  setenv("LD_LIBRARY_PATH", "/opt/a:/opt/b", 1);
  mVersion.getLibPath();
  EXPECT_EQ(withDefaults({"/opt/a", "/opt/b"}), table());

  setenv("LD_LIBRARY_PATH", "::/opt/c:::/opt/d:", 1);
  mVersion.getLibPath();
  EXPECT_EQ(withDefaults({"/opt/c", "/opt/d"}), table());
}

// The table holds 30 entries and the 8 defaults always follow, so 22 directories fit.
TEST_F(DumpVersionTest, DirectoriesBeyondTwentyTwoAreIgnored) {
  for (int count : {21, 22, 23, 40}) {
    std::vector<std::string> dirs = setDirectories(count);
    mVersion.getLibPath();
    dirs.resize(std::min(count, kMaxEnvLibPaths));
    EXPECT_EQ(withDefaults(dirs), table()) << count;
  }
}

// Each call builds the table anew: fewer directories than last time leave no entry behind.
TEST_F(DumpVersionTest, ACallWithFewerDirectoriesLeavesNothingStale) {
  for (int count : {kMaxEnvLibPaths, 2, 0}) {
    std::vector<std::string> dirs = setDirectories(count);
    mVersion.getLibPath();
    EXPECT_EQ(withDefaults(dirs), table()) << count;
  }
}

// The value of LD_LIBRARY_PATH itself, whole, through the shell's export listing.
TEST_F(DumpVersionTest, OnlyTheVariableNamedLdLibraryPathCounts) {
  struct {
    const char *variable;
    const char *value;
    std::vector<std::string> dirs;
  } cases[] = {
      {"LD_LIBRARY_PATH", "/opt/it's:/opt/\"b\" $c", {"/opt/it's", "/opt/\"b\" $c"}},
      {"AAA_LD_LIBRARY_PATH", "/aaa", {}},
      {"MENTION", "see LD_LIBRARY_PATH='/m'", {}},
      {"LINES", "x\nexport LD_LIBRARY_PATH='/l'", {}},
  };
  for (const auto &c : cases) {
    setenv(c.variable, c.value, 1);
    mVersion.getLibPath();
    unsetenv(c.variable);
    EXPECT_EQ(withDefaults(c.dirs), table()) << c.variable;
  }
}

// The first 4095 bytes of the value count: 21 directories of 190 bytes and their colons take
// 4011, so a last directory of 84 bytes just fits.
TEST_F(DumpVersionTest, TheValueIsCutAt4095Bytes) {
  for (size_t last : {83, 84, 85}) {
    std::vector<std::string> dirs(21, "/" + std::string(189, 'd'));
    dirs.push_back("/" + std::string(last - 1, 'l'));
    std::string value;
    for (const std::string &dir : dirs) value += (value.empty() ? "" : ":") + dir;
    setenv("LD_LIBRARY_PATH", value.c_str(), 1);
    mVersion.getLibPath();
    dirs.back().resize(std::min<size_t>(last, 84));
    EXPECT_EQ(withDefaults(dirs), table()) << last;
  }
}

TEST_F(DumpVersionTest, LongDirectoriesAreCutTo1023Characters) {
  std::string longDir = "/" + std::string(1500, 'l');
  setenv("LD_LIBRARY_PATH", (longDir + ":/opt/x").c_str(), 1);
  mVersion.getLibPath();
  EXPECT_EQ(withDefaults({longDir.substr(0, 1023), "/opt/x"}), table());
}

TEST_F(DumpVersionTest, OwnVersion) {
  std::string out;
  EXPECT_TRUE(mVersion.dumpDumpVersion(out));
  EXPECT_EQ("vantrix version:v2.2\n\n", out);
}

TEST_F(DumpVersionTest, TheFirstLibraryOnTheSearchPathIsReported) {
  std::vector<std::string> first = {"TQZEL v1.0.0", "ZEL v1.0.1"};
  std::vector<std::string> second = {"TQZEL v2.0.0"};
  std::string a = libDir("a", &first), b = libDir("b", &second), none = libDir("none");
  setenv("LD_LIBRARY_PATH", (none + ":" + b + ":" + a).c_str(), 1);
  mVersion.getLibPath();
  std::string out;
  EXPECT_TRUE(mVersion.dumpTqZelVersion(out));
  EXPECT_EQ(std::string(kHead) + "TQZEL v2.0.0\n\n", out);

  setenv("LD_LIBRARY_PATH", (a + ":" + b).c_str(), 1);
  mVersion.getLibPath();
  out.clear();
  EXPECT_TRUE(mVersion.dumpTqZelVersion(out));
  EXPECT_EQ(std::string(kHead) + "TQZEL v1.0.0\n\n", out);

  mVersion.dumpSetDumpList(true);
  out.clear();
  EXPECT_TRUE(mVersion.dumpTqZelVersion(out));
  EXPECT_EQ(std::string(kHead) + "TQZEL v1.0.0\nZEL v1.0.1\n\n", out);
}

TEST_F(DumpVersionTest, NoLibraryLeavesTheTitleAndAnEmptyLine) {
  setenv("LD_LIBRARY_PATH", libDir("empty").c_str(), 1);
  mVersion.getLibPath();
  std::string out;
  EXPECT_FALSE(mVersion.dumpTqZelVersion(out));
  EXPECT_EQ(std::string(kHead) + "\n", out);
}

// A library without the text falls back to the strings tool, with both words quoted, so a
// directory name cannot run commands.
TEST_F(DumpVersionTest, FallbackQuotesThePathForTheShell) {
  FakeTools tools;
  tools.stringsOutput("garbage\nTQZEL v9.9 from the tool\n");
  setenv("PATH", tools.searchPath().c_str(), 1);
  std::vector<std::string> noVersion = {"nothing to see"};
  std::string dir =
      libDir("odd dir;touch INJECTED;$(touch INJECTED2)`touch INJECTED3`", &noVersion);
  setenv("LD_LIBRARY_PATH", (dir + "/").c_str(), 1);
  mVersion.getLibPath();
  std::string out;
  EXPECT_TRUE(mVersion.dumpTqZelVersion(out));
  EXPECT_EQ(std::string(kHead) + "TQZEL v9.9 from the tool\n\n", out);
  EXPECT_EQ("[" + dir + "//libtqzel.so]\n", tools.stringsCalls());
  struct stat st;
  for (const char *marker : {"INJECTED", "INJECTED2", "INJECTED3"}) {
    EXPECT_NE(0, stat(marker, &st)) << marker;
    EXPECT_NE(0, stat(mDir.file(marker).c_str(), &st)) << marker;
  }
}

TEST_F(DumpVersionTest, ACommandThatDoesNotFitIsNotRun) {
  FakeTools tools;
  tools.stringsOutput("ZEL v0\n");
  setenv("PATH", tools.searchPath().c_str(), 1);
  std::string path(1020, 'p');
  std::string out;
  EXPECT_EQ(0, mVersion.getVersionStrings(("/" + path).c_str(), "ZEL v", out));
  EXPECT_EQ("", tools.stringsCalls());
}

}  // namespace
