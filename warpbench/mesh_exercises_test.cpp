#include "mesh_exercises.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scratch_dir.h"

namespace {

TEST(ReadMeshFile, ClampsLongFilesAndAcceptsShortOnes) {
  const size_t buf_size = 64;
  struct {
    size_t file_len;
    std::string err;
    std::string out;
    size_t filled;
  } cases[] = {
      {64, "", "mesh file len 64, read size 64\n", 64},
      {65, "mesh file len 65 > buf size 64, limit read to 64 bytes only\n",
       "mesh file len 64, read size 64\n", 64},
      {10, "", "mesh file len 10, read size 10\n", 10},
      {0, "", "mesh file len 0, read size 0\n", 0},
  };
  ScratchDir dir;
  for (const auto &c : cases) {
    std::string bytes(c.file_len, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (char)(i + 1);
    std::string path = dir.write("mesh.bin", bytes);
    std::vector<char> buf(buf_size, '\x7f');
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, read_mesh_file(path.c_str(), buf.data(), buf_size)) << c.file_len;
    EXPECT_EQ(c.err, testing::internal::GetCapturedStderr()) << c.file_len;
    EXPECT_EQ(c.out, testing::internal::GetCapturedStdout()) << c.file_len;
    EXPECT_EQ(bytes.substr(0, c.filled), std::string(buf.data(), c.filled)) << c.file_len;
    EXPECT_EQ(std::string(buf_size - c.filled, '\x7f'),
              std::string(buf.data() + c.filled, buf_size - c.filled))
        << "nothing past what was read";
  }
}

TEST(ReadMeshFile, MissingFileFailsWithItsReason) {
  char buf[8];
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, read_mesh_file("/nonexistent/mesh.bin", buf, sizeof(buf)));
  EXPECT_EQ(ENOENT, errno) << "kept for the caller's message";
  EXPECT_EQ("open file /nonexistent/mesh.bin failed: No such file or directory\n",
            testing::internal::GetCapturedStderr());
}

}  // namespace
