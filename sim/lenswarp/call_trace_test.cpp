// The call trace's records, written to a pipe.
#include "call_trace.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

namespace {

// The line that tracing `cfg` as a set_cfg argument appends.
nlohmann::json traced(const FecConfig &cfg) {
  int fds[2];
  EXPECT_EQ(0, pipe(fds));
  lenswarp::TraceLine("set_cfg", 0, fds[1]).config("cfg", &cfg).finish(0, false, 0);
  close(fds[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof(buf))) > 0;) text.append(buf, (size_t)n);
  close(fds[0]);
  return nlohmann::json::parse(text);
}

// The console's level toggle writes online.correct_level whatever the mode, so both views of the
// union are traced for every mode.
TEST(CallTrace, AFecConfigShowsBothViewsOfItsUnion) {
  struct Case {
    uint32_t mode;
    const char *mesh_dir;
    int level;
  };
  const Case cases[] = {{FEC_MESH_MODE_FILE, "/data/", 200}, {FEC_MESH_MODE_ONLINE, "", 100}};
  for (const Case &c : cases) {
    FecConfig cfg = {};
    cfg.mesh_mode = c.mode;
    snprintf(cfg.mesh_dir, sizeof(cfg.mesh_dir), "%s", c.mesh_dir);
    cfg.online.correct_level = c.level;
    const nlohmann::json line = traced(cfg)["cfg"];
    EXPECT_EQ(c.mode, line.at("mesh_mode"));
    EXPECT_EQ(c.mesh_dir, line.at("mesh_dir")) << c.mode;
    EXPECT_EQ(c.level, line.at("online").at("correct_level")) << c.mode;
  }
}

}  // namespace
