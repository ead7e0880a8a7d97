// One run of quillox: the command line, the choice between a service dump and the local
// reports, the request to the tuning service and the framing of its dump on standard output.
#ifndef QUILLOX_VANTRIX_H
#define QUILLOX_VANTRIX_H

#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

class DumpClient;
class DumpMemory;
class DumpVersion;

// The usage text, written to standard error for "help" and after a bad option.
extern const char kUsageText[];

class Vantrix {
 public:
  Vantrix();
  ~Vantrix();
  Vantrix(const Vantrix &) = delete;
  Vantrix &operator=(const Vantrix &) = delete;

  // Parses the command line and runs the chosen mode. Returns the mode's result (1 when its
  // output was written, 0 when writing failed), or 0 for "help".
  int start(int argc, char *const *argv);

  // Appends the request JSON of the module list and the argument list to mRequest. Always true.
  bool generateJson(std::vector<std::string> &modules, std::vector<std::string> &args);
  // The request's text "/cam/tqzel/URI#JSON#" into mRequestText; false, after saying why on
  // standard error, when the uri name holds the separator '#' or the text does not fit the request
  // with its terminator.
  bool generateRequest();
  // Takes the idle time-out from QUILLOX_TIMEOUT (default 30 s, 0: none) and the largest dump
  // accepted from QUILLOX_MAX_DUMP (MiB, default 256); a bad value is reported on standard error.
  void readSettings();
  // Connects to the tuning service at QUILLOX_SERVICE (when set and not empty) or at its fixed
  // address, with the idle time-out. True in every run: a failed connection shows at the send.
  bool InitDumpClient();
  // Puts `client` in place of the own one, e.g. one already connected elsewhere.
  void useDumpClient(std::unique_ptr<DumpClient> client);
  // Sends the type-5 request: mRequestText in 1024 zero-filled bytes.
  bool DumpClientSendModule();
  // Receives the dump message and the dump into mDumpBuffer; false (holding no buffer) when
  // either does not arrive whole, or the announced size is over the limit or cannot be allocated.
  bool DumpClientReceiveDump();

  // Writes the held dump to `fd` and releases it; true when nothing is held. On a failed write
  // prints why on std::cerr and returns false.
  bool writeDump(int fd, const char *name);
  // The separator and "DUMP OF SERVICE name:" lines; write errors are ignored.
  bool writeDumpHeader(int fd, const char *name);
  // The separator and "END DUMP OF SERVICE name:" lines; write errors are ignored.
  bool writeDumpFooter(int fd, const char *name);
  // Header, dump and footer on descriptor 1; the result of writeDump.
  bool writeDumpToStd();

  const std::string &request() const { return mRequest; }
  const std::string &requestText() const { return mRequestText; }

 private:
  struct FreeDeleter {
    void operator()(char *p) const { free(p); }
  };

  std::unique_ptr<DumpClient> mDumpClient;
  std::unique_ptr<DumpVersion> mDumpVersion;
  std::unique_ptr<DumpMemory> mDumpMemory;
  // From allocateDumpBuffer: released with free.
  std::unique_ptr<char[], FreeDeleter> mDumpBuffer;
  char mServiceName[256];
  unsigned int mDumpSize;
  unsigned int mMessageId;
  unsigned int mIdleTimeout;  // seconds; 0: none
  unsigned long mMaxDumpMiB;
  std::string mRequest;
  std::string mRequestText;
  std::string mUriName;
  bool mModuleMode;
  bool mShowVersion;
  bool mVersionList;
  bool mShowFreq;
  bool mShowMem;
};

#endif  // QUILLOX_VANTRIX_H
