// The socket client that talks to the camera tuning service: a connection over TCP (IPv4) or a
// local stream socket, and framed messages on it. A message is two 32-bit words in host byte
// order (type or id, payload length) followed by the payload. All messages of the client go to
// standard output through stdio.
#ifndef QUILLOX_DUMP_CLIENT_H
#define QUILLOX_DUMP_CLIENT_H

#include <memory>
#include <string>

class DumpClient {
 public:
  DumpClient();
  // Closes the connection. The file-system entry of a local socket belongs to the service and
  // is left alone.
  virtual ~DumpClient();
  DumpClient(const DumpClient &) = delete;
  DumpClient &operator=(const DumpClient &) = delete;

  // Splits `uri` and connects for "tcp://HOST:PORT" or "domain://...PATH"; any other protocol
  // opens nothing. Always true: a failed connection shows up at the first send.
  bool sockClientOpen(const char *uri);

  // Splits `uri` into its pieces, each cut to its buffer and terminated. A buffer whose size is
  // 0 or less is never written; `authorization` and `port` may be null. The port is -1 when the
  // URI names none.
  static void urlSplit(char *proto, int protoSize, char *authorization, int authorizationSize,
                       char *hostname, int hostnameSize, int *port, char *path, int pathSize,
                       const char *uri);

  // TCP connection to the dotted IPv4 address `host` (no name lookup). False for a port outside
  // 1..65535, a failed socket (then unusable until another init) or a failed connect.
  bool init(const char *host, int port);
  // Local stream-socket connection to `path` (cut to 107 characters).
  bool init(const char *path);

  // Sends all `len` bytes; false when not connected or when the peer stops taking them.
  bool sendBuffer(const char *data, unsigned int len);
  // Sends the head (type, len) and the payload.
  bool sendMessage(unsigned int type, const char *data, unsigned int len);
  // sendMessage with a message on failure.
  bool sendDump(unsigned int type, const char *data, unsigned int len);

  // Receives exactly `len` bytes from `fd`; false when the connection ends or fails first.
  static bool receiveBuffer(int fd, char *data, unsigned int len);
  // Receives a message head; warns, and still succeeds, when `size` exceeds the 1 MiB reception
  // buffer.
  static bool receiveMessage(int fd, unsigned int &id, unsigned int &size);
  // receiveMessage on the own socket; false after a failed socket creation.
  bool receiveDumpMessage(unsigned int &id, unsigned int &size);
  // receiveBuffer on the own socket; false after a failed socket creation.
  bool receiveDump(char *data, unsigned int len);

  // Copies at most size - 1 characters of `src` and terminates `dst` (nothing is written for a
  // size of 0 or less). Returns the length of `src`.
  static int strlcpy(char *dst, const char *src, int size);

  static constexpr unsigned int kRecvBufferSize = 0x100000;

 private:
  std::string mUnixPath;
  int mSockFd;  // 0: no connection; -1: socket creation failed; else the connected socket
  std::unique_ptr<char[]> mRecvBuffer;
};

#endif  // QUILLOX_DUMP_CLIENT_H
