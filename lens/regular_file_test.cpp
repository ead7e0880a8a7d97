#include "regular_file.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "calibration_ini.h"
#include "mesh_format.h"
#include "scratch_dir.h"

namespace {

// Wherever the library reads a file (mesh files, calibration INIs), it takes only a regular one,
// and never waits on a FIFO that has no writer.
TEST(RegularFile, DirectoriesAndFifosAreRefusedWithoutWaiting) {
  ScratchDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const struct {
    std::string path;
    int err;
  } cases[] = {{dir.path(), EISDIR}, {fifo, EINVAL}, {"/dev/null", EINVAL}};
  for (const auto &c : cases) {
    std::vector<uint8_t> mesh;
    EXPECT_EQ(c.err, lenswarp::read_mesh_file_exact(c.path, 54, &mesh)) << c.path;
    FecOnlineConfig cfg = {};
    EXPECT_EQ(c.err, lenswarp::load_calibration_ini(c.path.c_str(), &cfg)) << c.path;
  }
}

}  // namespace
