#include "mesh_exercises.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "dma_alloc.h"
#include "dma_buf_sync_probe.h"
#include "mesh_exercises_fixture.h"
#include "run_state.h"
#include "scratch_dir.h"

namespace {

// Only a regular file of exactly the mesh size loads; anything else leaves the buffer untouched,
// and a FIFO without a writer is refused rather than waited on.
TEST(ReadMeshFile, LoadsOnlyRegularFilesOfTheMeshSize) {
  const size_t mesh_size = 64;
  ScratchDir dir;
  const std::string fifo = dir.file("fifo.bin");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const std::string wrong = "mesh file " + dir.file("mesh.bin") + " has ";
  struct {
    int file_len;  // -1: the directory itself, -2: the FIFO, -3: no file
    int result, err;
    std::string out, err_text;
  } cases[] = {
      {64, 0, 0, "mesh file len 64, read size 64\n", ""},
      {65, -1, EINVAL, "", wrong + "65 bytes, not the mesh size 64\n"},
      {63, -1, EINVAL, "", wrong + "63 bytes, not the mesh size 64\n"},
      {0, -1, EINVAL, "", wrong + "0 bytes, not the mesh size 64\n"},
      {-1, -1, EISDIR, "", "mesh file " + dir.path() + " is not a regular file\n"},
      {-2, -1, EINVAL, "", "mesh file " + fifo + " is not a regular file\n"},
      {-3, -1, ENOENT, "",
       "open file " + dir.file("none.bin") + " failed: No such file or directory\n"},
  };
  for (const auto &c : cases) {
    std::string bytes(c.file_len > 0 ? (size_t)c.file_len : 0, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (char)(i + 1);
    const std::string path = c.file_len == -1   ? dir.path()
                             : c.file_len == -2 ? fifo
                             : c.file_len == -3 ? dir.file("none.bin")
                                                : dir.write("mesh.bin", bytes);
    std::vector<char> buf(mesh_size, '\x7f');
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    errno = 0;
    EXPECT_EQ(c.result, read_mesh_file(path.c_str(), buf.data(), mesh_size)) << c.file_len;
    EXPECT_EQ(c.err, errno) << c.file_len;
    EXPECT_EQ(c.err_text, testing::internal::GetCapturedStderr()) << c.file_len;
    EXPECT_EQ(c.out, testing::internal::GetCapturedStdout()) << c.file_len;
    const std::string want = c.result == 0 ? bytes : std::string(mesh_size, '\x7f');
    EXPECT_EQ(want, std::string(buf.data(), mesh_size)) << c.file_len;
  }
}

// Its size needs more than 32 bits: it is measured, not refused by the system, even on armhf.
TEST(ReadMeshFile, AFileOf3GiBIsRefusedForItsSize) {
  ScratchDir dir;
  const std::string path = dir.write("big.bin", "");
  ASSERT_EQ(0, truncate(path.c_str(), (off_t)3 << 30)) << strerror(errno);
  char buf[64];
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, read_mesh_file(path.c_str(), buf, sizeof(buf)));
  EXPECT_EQ(EINVAL, errno);
  EXPECT_EQ("mesh file " + path + " has 3221225472 bytes, not the mesh size 64\n",
            testing::internal::GetCapturedStderr());
}

TEST_F(MeshExercises, LevelToggleFlipsWhateverTheLibraryReports) {
  for (int start : {0, 100}) {
    init(start);
    Outcome o = exercise(api_test_set_cfg);
    EXPECT_EQ(0, o.ret);
    std::string expected;
    for (int i = 0; i < 10; ++i) {
      const int level = (i % 2 == 0) == (start == 0) ? 200 : 0;
      expected += "set cfg: correct_level = " + std::to_string(level) + "\n\n";
    }
    EXPECT_EQ(expected, o.out) << "from " << start;
    EXPECT_EQ("", o.err);
    EXPECT_EQ(std::vector<unsigned int>(10, 100000), pauses()) << "after every iteration";
    FecConfig cfg;
    ASSERT_EQ(0, tq_lenswarp_api_get_cfg(mCtx, &cfg));
    EXPECT_EQ(start == 0 ? 0 : 200, cfg.online.correct_level) << "from " << start;
    tq_lenswarp_api_deinit(mCtx);
    mCtx = nullptr;
  }
}

TEST_F(MeshExercises, OnlineMeshTogglesOnlyTheLevel) {
  init(100);
  Outcome o = exercise(api_test_mesh_online);
  EXPECT_EQ(0, o.ret);
  EXPECT_EQ(std::string(10, '\n'), o.out);
  EXPECT_EQ("", o.err);
  EXPECT_EQ(std::vector<unsigned int>(10, 100000), pauses());
  FecMeshConfig m = mesh_config();
  EXPECT_EQ(FEC_MESH_CFG_ONLINE, m.mode);
  FecOnlineConfig want = lens(200);  // 100, then 0 and 200 by turns
  EXPECT_EQ(0, memcmp(&want, &m.online_config, sizeof(want)))
      << "level " << m.online_config.correct_level;
}

// The next file follows the path the library reports: one that holds the level000 path anywhere
// leads to level200. (The fixed file's own name is too long for the record's name field.)
TEST_F(MeshExercises, MeshFileAlternatesFromWhatTheLibraryReports) {
  const std::string around_dir = data().make_dir(std::string(kLevel000) + ".d") + "/";
  data().write(std::string(kLevel000) + ".d/mesh.bin", std::string(kMeshBytes, '\0'));
  init(0, around_dir);

  // A file the library refuses ends the exercise at once; the library keeps its mesh.
  data().write(kLevel200, std::string(kMeshBytes + 1, '\x01'));
  Outcome o = exercise(api_test_mesh_from_file);
  EXPECT_NE(0, o.ret);
  EXPECT_EQ("Get mesh path: " + around_dir + "mesh.bin\nSet mesh config: " + level200() + "\n",
            o.out);
  EXPECT_EQ("Set mesh config failed: Invalid argument\n", o.err);
  EXPECT_TRUE(pauses().empty()) << "no pause after a failed iteration";
  EXPECT_EQ(around_dir + "mesh.bin", mesh_config().path);

  data().write(kLevel200, std::string(kMeshBytes, '\x01'));
  o = exercise(api_test_mesh_from_file);
  EXPECT_EQ(0, o.ret);
  std::string expected, reported = around_dir + "mesh.bin";
  for (int i = 0; i < 10; ++i) {
    const std::string next = i % 2 == 0 ? level200() : level000();
    expected += "Get mesh path: " + reported + "\nSet mesh config: " + next + "\n\n";
    reported = next;
  }
  EXPECT_EQ(expected, o.out);
  EXPECT_EQ("", o.err);
  EXPECT_EQ(std::vector<unsigned int>(10, 300000), pauses()) << "the file exercise pauses longer";
  FecMeshConfig m = mesh_config();
  EXPECT_EQ(FEC_MESH_CFG_FILE, m.mode);
  EXPECT_EQ(level000(), m.path);
}

// The two in-memory exercises each remember the file they loaded last. A run that fails at a
// missing file sets that memory: with level200 missing, the next run starts at level200; with
// level000 missing, at level000. The memories differ then, so each run shows which one it used.
TEST_F(MeshExercises, EachInMemoryExerciseKeepsItsOwnAlternation) {
  init(0);
  use_library_mesh_buffers();
  const std::string refused = refused_sync_reason();

  unlink(level200().c_str());
  Outcome o = exercise(api_test_mesh_from_vaddr);
  EXPECT_EQ(-1, o.ret);
  EXPECT_EQ("open file " + level200() + " failed: No such file or directory\nLoad " + level200() +
                " failed: No such file or directory\n",
            o.err);
  data().write(kLevel200, std::string(kMeshBytes, '\x01'));

  unlink(level000().c_str());
  o = exercise(api_test_mesh_from_dma_fd);
  EXPECT_EQ(-1, o.ret);
  EXPECT_EQ("DMA mesh sync(pre-write) failed: " + refused + "\nopen file " + level000() +
                " failed: No such file or directory\nDMA mesh sync(post-write) failed: " + refused +
                "\nLoad " + level000() + " failed: No such file or directory\n",
            o.err);
  data().write(kLevel000, std::string(kMeshBytes, '\0'));

  o = exercise(api_test_mesh_from_vaddr);
  EXPECT_EQ(0, o.ret);
  EXPECT_EQ("", o.err);
  std::string expected;
  for (int i = 0; i < 10; ++i) {
    expected += "mesh file len 54, read size 54\nSet mesh config: " +
                (i % 2 == 0 ? level200() : level000()) + ", via vaddr\n\n";
  }
  EXPECT_EQ(expected, o.out);
  EXPECT_EQ(std::vector<unsigned int>(10, 100000), pauses());
  FecMeshConfig m = mesh_config();
  EXPECT_EQ(FEC_MESH_CFG_MEMORY, m.mode);
  EXPECT_EQ(1u, m.use_vaddr);
  EXPECT_EQ(kMeshBytes, m.size);

  o = exercise(api_test_mesh_from_dma_fd);
  EXPECT_EQ(0, o.ret);
  expected.clear();
  std::string syncs;
  for (int i = 0; i < 10; ++i) {
    const bool first = i % 2 == 0;
    expected += "mesh file len 54, read size 54\nLoaded " + (first ? level000() : level200()) +
                " with DMA FD " + std::to_string(run_bufs.mesh[first ? 0 : 1].fd) + "\n\n";
    syncs += "DMA mesh sync(pre-write) failed: " + refused +
             "\nDMA mesh sync(post-write) failed: " + refused + "\n";
  }
  EXPECT_EQ(expected, o.out);
  EXPECT_EQ(syncs, o.err) << "every load into a DMA buffer is bracketed";
  m = mesh_config();
  EXPECT_EQ(0u, m.use_vaddr);
  EXPECT_EQ(run_bufs.mesh[1].fd, m.dma_fd);
  EXPECT_EQ(std::string(kMeshBytes, '\x01'),
            std::string((const char *)run_bufs.mesh[1].vaddr, kMeshBytes));
}

}  // namespace
