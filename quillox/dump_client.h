// The socket client that talks to the camera tuning service: a connection over TCP (IPv4) or a
// local stream socket, and framed messages on it. A message is two 32-bit words in host byte
// order (type or id, payload length) followed by the payload. All messages of the client go to
// standard output through stdio, unless it is quiet: then a caller that says what failed in its
// own words reads the failure as a value.
#ifndef QUILLOX_DUMP_CLIENT_H
#define QUILLOX_DUMP_CLIENT_H

#include <netinet/in.h>
#include <signal.h>

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

  // The step of an exchange that failed.
  enum Step {
    kNoFailure,
    kNoProtocol,   // the URI is neither tcp:// nor domain://
    kInetAddress,  // no port 1 to 65535 (for a quiet client, or no dotted IPv4 address)
    kSocketPath,   // a socket path over the 107 bytes its address holds (quiet: or empty)
    kSocket,       // the socket could not be made
    kConnect,
    kSend,
    kReceive,
  };
  // The last failure: its step, the errno that ended it (0 when the connection ended first) and,
  // for a receive, how many of the bytes asked for arrived.
  struct Failure {
    Step step = kNoFailure;
    int error = 0;
    unsigned int done = 0;
  };
  const Failure &failure() const { return mFailure; }

  // A quiet client prints none of its lines. It also refuses, as kInetAddress or kSocketPath,
  // what quillox only fails to connect to: a host that names no dotted IPv4 address (INADDR_NONE,
  // the broadcast address) and an empty socket path.
  void setQuiet(bool quiet) { mQuiet = quiet; }

  // What a signal handler shares with the client: the client keeps its socket in `socket` (-1
  // while it has none), so that the handler may shut it down, which ends whatever waits on it;
  // once the handler has set `stop`, an interrupted connect is not resumed.
  struct Interruption {
    volatile sig_atomic_t socket = -1;
    volatile sig_atomic_t stop = 0;
  };
  // `interruption` (or null) for the connections opened from now on; it must outlive them.
  void setInterruption(Interruption *interruption) { mInterruption = interruption; }

  // Splits `uri` and connects for "tcp://HOST:PORT" or "domain://...PATH"; any other protocol
  // opens nothing. False, with failure() saying why, when no connection was made.
  bool connectTo(const char *uri);
  // connectTo, always true: a failed connection shows up at the first send.
  bool sockClientOpen(const char *uri);

  // Splits `uri` into its pieces, each cut to its buffer and terminated. A buffer whose size is
  // 0 or less is never written; `authorization` and `port` may be null. The port is -1 when the
  // URI names none.
  static void urlSplit(char *proto, int protoSize, char *authorization, int authorizationSize,
                       char *hostname, int hostnameSize, int *port, char *path, int pathSize,
                       const char *uri);

  // The idle time-out of the connections opened from now on: a connect, send or receive that
  // makes no progress for `seconds` fails, saying so. 0, the initial value, waits for ever.
  void setIdleTimeout(unsigned int seconds) { mIdleTimeout = seconds; }
  // Whether a socket call failed with `error` because the idle time-out passed.
  bool isTimeout(int error) const;
  // What the time-out means: "no progress for N s (QUILLOX_TIMEOUT)".
  std::string noProgressText() const;

  // TCP connection to the dotted IPv4 address `host` (no name lookup). False for a port outside
  // 1..65535, a failed socket (then unusable until another init) or a failed connect.
  bool init(const char *host, int port);
  // Local stream-socket connection to `path`. False for a path longer than the 107 bytes a
  // socket address holds (said as a failed connect), a failed socket or a failed connect.
  bool init(const char *path);

  // Sends all `len` bytes; false when not connected, when the peer stops taking them or after
  // the idle time-out (which it reports).
  bool sendBuffer(const char *data, unsigned int len);
  // Sends the head (type, len) and the payload.
  bool sendMessage(unsigned int type, const char *data, unsigned int len);
  // sendMessage with a message on failure.
  bool sendDump(unsigned int type, const char *data, unsigned int len);

  // Receives the 8-byte message head; warns, and still succeeds, when `size` exceeds the 1 MiB
  // reception buffer. False after a failed socket creation, or after saying how much of the
  // head arrived and why not the rest.
  bool receiveDumpMessage(unsigned int &id, unsigned int &size);
  // Receives the `len` announced dump bytes; false after a failed socket creation, or after
  // saying how many arrived and why not the rest.
  bool receiveDump(char *data, unsigned int len);

  // Copies at most size - 1 characters of `src` and terminates `dst` (nothing is written for a
  // size of 0 or less). Returns the length of `src`.
  static int strlcpy(char *dst, const char *src, int size);

  static constexpr unsigned int kRecvBufferSize = 0x100000;

 private:
  // The address init(host, port) connects to: `host` as inet_addr reads it (so "127.1" is
  // 127.0.0.1, and a text it cannot read is INADDR_NONE), `port` in network order. False, with
  // `*address` untouched, for a port outside 1..65535.
  static bool inetAddress(const char *host, int port, struct sockaddr_in *address);

  // printf on standard output, unless the client is quiet.
  void say(const char *format, ...) const __attribute__((format(printf, 2, 3)));
  // Records a failure of `step`; always false.
  bool fail(Step step, int error, unsigned int done = 0);
  // The new socket, made with socket(domain, SOCK_STREAM, 0), in mSockFd and the interruption.
  bool makeSocket(int domain);
  // Connects the socket, resuming after an interruption unless the interruption says stop.
  int connectSocket(const struct sockaddr *address, socklen_t length);
  void closeSocket();
  // Gives the new socket the idle time-out; false with errno set when it cannot.
  bool applyIdleTimeout();
  // Why a socket call failed with `error`: the time-out, or the system's text.
  std::string failureText(int error) const;
  // Receives `len` bytes of `what`, saying how many arrived and why when not all did.
  bool receiveWhole(const char *caller, const char *what, char *data, unsigned int len);

  std::string mUnixPath;
  int mSockFd;  // 0: no connection; -1: socket creation failed; else the connected socket
  unsigned int mIdleTimeout = 0;
  bool mQuiet = false;
  Interruption *mInterruption = nullptr;
  Failure mFailure;
  std::unique_ptr<char[]> mRecvBuffer;
};

#endif  // QUILLOX_DUMP_CLIENT_H
