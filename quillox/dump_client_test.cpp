#include "dump_client.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <string>

#include "loopback_socket.h"
#include "scratch_dir.h"

namespace {

struct Split {
  std::string proto, authorization, host;
  int port;
  std::string path;
};

Split split(const char *uri, int size = 1024) {
  char proto[1024], authorization[1024], host[1024], path[1024];
  int port = 0;
  DumpClient::urlSplit(proto, size, authorization, size, host, size, &port, path, size, uri);
  return {proto, authorization, host, port, path};
}

struct SplitCase {
  const char *uri;
  Split expected;
};

template <size_t N>
void expectSplits(const SplitCase (&cases)[N]) {
  for (const SplitCase &c : cases) {
    Split got = split(c.uri);
    EXPECT_EQ(c.expected.proto, got.proto) << c.uri;
    EXPECT_EQ(c.expected.authorization, got.authorization) << c.uri;
    EXPECT_EQ(c.expected.host, got.host) << c.uri;
    EXPECT_EQ(c.expected.port, got.port) << c.uri;
    EXPECT_EQ(c.expected.path, got.path) << c.uri;
  }
}

TEST(UrlSplit, EveryRowOfTheTable) {
  const SplitCase cases[] = {
      {"tcp://127.0.0.1:4894", {"tcp", "", "127.0.0.1", 4894, ""}},
      {"tcp://127.0.0.1", {"tcp", "", "127.0.0.1", -1, ""}},
      {"tcp://u@10.0.0.2:80/a?b", {"tcp", "u", "10.0.0.2", 80, "/a?b"}},
      {"tcp://[::1]:4894", {"tcp", "", "::1", 4894, ""}},
      {"domain:///tmp/s", {"domain", "", "", -1, "/tmp/s"}},
      {"domain://tmp/s", {"domain", "", "tmp", -1, "/s"}},
      {"/tmp/s", {"", "", "", -1, "/tmp/s"}},
  };
  expectSplits(cases);
}

TEST(UrlSplit, MoreShapes) {
  const SplitCase cases[] = {
      {"a@b@host:7?q/r", {"a@b@host", "", "7", -1, "?q/r"}},
      {"tcp:host:9", {"tcp", "", "host", 9, ""}},
      {"tcp:/host", {"tcp", "", "host", -1, ""}},
      {"tcp:///", {"tcp", "", "", -1, "/"}},
      {"tcp://u:p@w@h:1/x", {"tcp", "u:p@w", "h", 1, "/x"}},
      {"tcp://h?x/y", {"tcp", "", "h", -1, "?x/y"}},
      {"tcp://[::1/x", {"tcp", "", "[", 0, "/x"}},
      {"tcp://[fe80::2]/p", {"tcp", "", "fe80::2", -1, "/p"}},
      {"tcp://h:notaport", {"tcp", "", "h", 0, ""}},
  };
  expectSplits(cases);
}

TEST(UrlSplit, PiecesAreCutToTheirBuffers) {
  Split got = split("tcp://user@127.0.0.1:4894/some/path", 4);
  EXPECT_EQ("tcp", got.proto);
  EXPECT_EQ("use", got.authorization);
  EXPECT_EQ("127", got.host);
  EXPECT_EQ(4894, got.port);
  EXPECT_EQ("/so", got.path);
}

TEST(UrlSplit, BuffersOfSizeZeroAndNullPointersAreNotTouched) {
  char proto[8] = "keep", host[8] = "keep", path[8] = "keep";
  DumpClient::urlSplit(proto, 0, nullptr, 0, host, 0, nullptr, path, -1, "tcp://a@b:1/c");
  EXPECT_STREQ("keep", proto);
  EXPECT_STREQ("keep", host);
  EXPECT_STREQ("keep", path);
  char small[8];
  DumpClient::urlSplit(nullptr, 0, nullptr, 0, small, sizeof(small), nullptr, nullptr, 0,
                       "tcp://a@b:1/c");
  EXPECT_STREQ("b", small);
  // A null authorization is left alone whatever size comes with it.
  DumpClient::urlSplit(nullptr, 0, nullptr, 64, small, sizeof(small), nullptr, nullptr, 0,
                       "ftp://a@b@c:21");
  EXPECT_STREQ("c", small);
}

// A listener on an ephemeral loopback port, or on a local socket.
class Listener {
 public:
  Listener() : mFd(listen_loopback(0)) { EXPECT_TRUE(mFd.valid()) << strerror(errno); }
  explicit Listener(const std::string &path) : mFd(listen_local(path)) {
    EXPECT_TRUE(mFd.valid()) << strerror(errno);
  }
  int port() const { return bound_port(mFd.get()); }
  OwnedFd accept() const { return OwnedFd(::accept(mFd.get(), nullptr, nullptr)); }

 private:
  OwnedFd mFd;
};

TEST(DumpClientInit, PortsOutsideTheRangeAreRefusedBeforeAnySocket) {
  for (int port : {-1, 0, 65536, 100000}) {
    DumpClient client;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(client.init("127.0.0.1", port));
    EXPECT_FALSE(client.sendDump(5, "x", 1));
    EXPECT_EQ("Port missing in uri \nsendDump: not initialized \n",
              testing::internal::GetCapturedStdout())
        << port;
  }
  DumpClient client;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(client.sockClientOpen("tcp://127.0.0.1"));
  EXPECT_EQ("Port missing in uri \n", testing::internal::GetCapturedStdout());
}

TEST(DumpClientInit, OtherProtocolsOpenNothing) {
  DumpClient client;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(client.sockClientOpen("udp://127.0.0.1:4894"));
  EXPECT_FALSE(client.sendBuffer("x", 1));
  EXPECT_EQ("sendBuffer: not initialized \n", testing::internal::GetCapturedStdout());
}

// The idle time-out bounds a send to a peer that takes nothing.
TEST(DumpClientExchange, ASendThatMakesNoProgressEndsAtTheTimeout) {
  Listener listener;
  DumpClient client;
  client.setIdleTimeout(1);
  ASSERT_TRUE(client.init("127.0.0.1", listener.port()));
  OwnedFd stalled = listener.accept();
  std::string big(64 << 20, 'x');
  testing::internal::CaptureStdout();
  EXPECT_FALSE(client.sendDump(5, big.data(), (unsigned int)big.size()));
  EXPECT_EQ(
      "sendBuffer: time-out: no progress for 1 s (QUILLOX_TIMEOUT)\n"
      "sendDump: send_message failed\n",
      testing::internal::GetCapturedStdout());
}

TEST(DumpClientExchange, AVanishedPeerFailsTheSend) {
  Listener listener;
  DumpClient client;
  ASSERT_TRUE(client.init("127.0.0.1", listener.port()));
  listener.accept();  // and closed at once
  std::string big(4 << 20, 'x');
  testing::internal::CaptureStdout();
  EXPECT_FALSE(client.sendDump(5, big.data(), (unsigned int)big.size()));
  EXPECT_EQ("sendDump: send_message failed\n", testing::internal::GetCapturedStdout());
}

TEST(DumpClientLocal, ConnectsAndLeavesTheServicesEntryAlone) {
  ScratchDir dir;
  std::string path = dir.file("tqzel.sock");
  Listener listener(path);
  {
    DumpClient client;
    EXPECT_TRUE(client.sockClientOpen(("domain://" + path).c_str()));
    OwnedFd fd = listener.accept();
    EXPECT_TRUE(client.sendDump(5, "ping", 4));
  }
  struct stat st;
  ASSERT_EQ(0, stat(path.c_str(), &st)) << "the client removed the service's socket";
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
}

// 107 bytes and the terminator fill the socket address; a longer path is refused, never cut to
// the one a listener holds.
TEST(DumpClientLocal, PathsOverTheSocketAddressAreRefused) {
  ScratchDir dir;
  std::string path = dir.path() + "/";
  path += std::string(107 - path.size(), 's');
  ASSERT_EQ(107u, path.size());
  Listener listener(path);
  {
    DumpClient client;
    EXPECT_TRUE(client.init(path.c_str()));
    EXPECT_TRUE(listener.accept().valid());
  }
  DumpClient client;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(client.init((path + "x").c_str()));
  EXPECT_FALSE(client.sendDump(5, "x", 1));
  EXPECT_EQ(
      "init: connect failed, reason: the socket path is 108 bytes long, over the limit of 107 \n"
      "sendDump: not initialized \n",
      testing::internal::GetCapturedStdout());
}

TEST(DumpClientLocal, FailedConnectIsReported) {
  ScratchDir dir;
  DumpClient client;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(client.init(dir.file("nobody").c_str()));
  EXPECT_FALSE(client.sendDump(5, "x", 1));
  EXPECT_EQ("init: connect failed \nsendDump: not initialized \n",
            testing::internal::GetCapturedStdout());
}

}  // namespace
