// The baseline of bench/quillox_dump.sh: the same request and the same reception as quillox,
// done by a plain socket reader that copies the dump to standard output in 64 KiB pieces.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static bool receiveFull(int fd, char *data, size_t len) {
  while (len > 0) {
    ssize_t n = recv(fd, data, len, 0);
    if (n <= 0) return false;
    data += n;
    len -= (size_t)n;
  }
  return true;
}

int main(int argc, char **argv) {
  int port = argc > 1 ? atoi(argv[1]) : 4894;
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons((uint16_t)port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, (struct sockaddr *)&address, sizeof(address)) != 0) {
    perror("connect");
    return 1;
  }
  char request[8 + 1024] = {};
  uint32_t head[2] = {5, 1024};
  memcpy(request, head, sizeof(head));
  snprintf(request + 8, 1024, "/cam/tqzel/dump#{\"module\":\"all\"}#");
  if (send(fd, request, sizeof(request), 0) != (ssize_t)sizeof(request)) return 1;
  if (!receiveFull(fd, (char *)head, sizeof(head))) return 1;
  static char buf[64 * 1024];
  size_t left = head[1];
  while (left > 0) {
    ssize_t n = recv(fd, buf, left < sizeof(buf) ? left : sizeof(buf), 0);
    if (n <= 0) return 1;
    if (write(1, buf, (size_t)n) != n) return 1;
    left -= (size_t)n;
  }
  close(fd);
  return 0;
}
