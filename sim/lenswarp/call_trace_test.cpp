// The call trace's records, written to a pipe.
#include "call_trace.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

namespace {

// The line that tracing `cfg` as a set_cfg argument appends.
std::string traced_text(const FecConfig &cfg) {
  int fds[2];
  EXPECT_EQ(0, pipe(fds));
  lenswarp::TraceLine("set_cfg", 0, fds[1]).config("cfg", &cfg).finish(0, false, 0);
  close(fds[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof(buf))) > 0;) text.append(buf, (size_t)n);
  close(fds[0]);
  return text;
}

nlohmann::json traced(const FecConfig &cfg) {
  return nlohmann::json::parse(traced_text(cfg));
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

// A reader may tell 1920 from 1920.0: whole numbers stay integers; others take the fewest
// digits that read back as the same double.
TEST(CallTrace, LensParametersKeepWholeNumbersWholeAndOthersExact) {
  FecConfig cfg = {};
  cfg.online.light_center[0] = 1920;
  cfg.online.light_center[1] = 0.1;
  const double coeff[4] = {0, -1103.7, 6.0608e-11, 1e300};
  for (int i = 0; i < 4; ++i) cfg.online.coeff[i] = coeff[i];
  const std::string text = traced_text(cfg);
  EXPECT_NE(std::string::npos,
            text.find(R"("light_center":[1920,0.1],"coeff":[0,-1103.7,6.0608e-11,1e+300])"))
      << text;
}

}  // namespace
