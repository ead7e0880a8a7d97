// quillox's URI splitting. The first four bytes give the sizes of the protocol, authorization,
// host and path buffers (a size of 0 or less comes with no buffer at all), the fifth whether
// the authorization and port outputs are given; the rest is the URI.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "dump_client.h"
#include "fuzz_input.h"

namespace {

constexpr size_t kHead = 5;

// A buffer of exactly `size` bytes, or none for a size of 0 or less.
std::unique_ptr<char[]> buffer_of(int size) {
  if (size <= 0) return nullptr;
  std::unique_ptr<char[]> buffer(new char[size]);
  memset(buffer.get(), 'X', (size_t)size);
  return buffer;
}

// Every piece that has a buffer is terminated inside it.
void check_terminated(const char *buffer, int size) {
  if (buffer != nullptr && strnlen(buffer, (size_t)size) >= (size_t)size) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < kHead) return 0;
  int sizes[4];
  for (int i = 0; i < 4; ++i) sizes[i] = data[i] % 40 - 4;
  const bool noAuthorization = (data[4] & 1) != 0;
  const bool noPort = (data[4] & 2) != 0;
  std::unique_ptr<char[]> uri = c_string(data + kHead, size - kHead);

  std::unique_ptr<char[]> proto = buffer_of(sizes[0]);
  std::unique_ptr<char[]> authorization = noAuthorization ? nullptr : buffer_of(sizes[1]);
  std::unique_ptr<char[]> host = buffer_of(sizes[2]);
  std::unique_ptr<char[]> path = buffer_of(sizes[3]);
  int port = 0;
  DumpClient::urlSplit(proto.get(), sizes[0], authorization.get(), sizes[1], host.get(), sizes[2],
                       noPort ? nullptr : &port, path.get(), sizes[3], uri.get());
  check_terminated(proto.get(), sizes[0]);
  check_terminated(authorization.get(), sizes[1]);
  check_terminated(host.get(), sizes[2]);
  check_terminated(path.get(), sizes[3]);
  return 0;
}
