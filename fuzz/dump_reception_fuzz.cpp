// quillox's reception of a dump: the bytes are everything the service sends after the request
// (message head, then the dump) before it closes the connection. The client is connected to a
// local socket the target listens on, so the real connection code runs too.
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <memory>

#include "dump_client.h"
#include "vantrix.h"

// An announced dump size is allocated whole up to quillox's limit (256 MiB by default). Allocations
// above 64 MiB fail here as they would on a board short of memory, so that the fuzzer explores the
// reception instead of filling memory at every large head, and the replay behaves alike on 32 and
// 64 bits. ASAN_OPTIONS=max_allocation_size_mb=0 lifts the bound.
extern "C" const char *__asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=64";
}

namespace {

// More than the socket's buffer could block the writer, with nobody reading yet.
constexpr size_t kMaxInput = 64 * 1024;

struct Listener {
  char dir[64] = "/tmp/dump-reception-fuzz-XXXXXX";
  char path[80] = {};
  int fd = -1;
  int devnull = -1;

  Listener() {
    if (mkdtemp(dir) == nullptr) fail("mkdtemp");
    snprintf(path, sizeof(path), "%s/service", dir);
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof(address.sun_path), "%s", path);
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, (struct sockaddr *)&address, sizeof(address)) != 0 ||
        listen(fd, 1) != 0) {
      fail("listening socket");
    }
    devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devnull < 0) fail("/dev/null");
  }
  ~Listener() {
    close(devnull);
    close(fd);
    unlink(path);
    rmdir(dir);
  }
  [[noreturn]] static void fail(const char *what) {
    perror(what);
    abort();
  }
};

void send_all(int fd, const uint8_t *data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n <= 0) Listener::fail("feeding the client");
    data += n;
    size -= (size_t)n;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > kMaxInput) return -1;
  static Listener listener;
  std::unique_ptr<DumpClient> client(new DumpClient());
  if (!client->init(listener.path)) Listener::fail("connecting the client");
  int service = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (service < 0) Listener::fail("accept");
  send_all(service, data, size);
  close(service);

  Vantrix vantrix;
  vantrix.useDumpClient(std::move(client));
  if (vantrix.DumpClientReceiveDump()) vantrix.writeDump(listener.devnull, "fuzz");
  return 0;
}
