#include "vantrix.h"

#include <errno.h>
#include <getopt.h>
#include <stdio.h>
#include <string.h>

#include <iostream>

#include "dump_buffer.h"
#include "dump_client.h"
#include "dump_memory.h"
#include "dump_version.h"
#include "environment_setting.h"
#include "fd_write.h"
#include "request_json.h"
#include "service_endpoint.h"
#include "string_format.h"

const char kUsageText[] =
    "usage: \n"
    "         quillox [moudle] [moudle ARGS] [--uri uriName] [uri ARGS] \n"
    "         --help: shows this help\n"
    "         --uri uriName: register service base on uriName \n"
    "         [uri ARGS]: optionally passing ARGS to service \n"
    "         moudle [moudle ARGS]: dumps only module, optionally passing ARGS to it\n";

namespace {

const unsigned long kDefaultIdleTimeout = 30;  // seconds
const char kSeparator[] =
    "-------------------------------------------------------------------------------\n";

const struct option kLongOptions[] = {
    {"uri", required_argument, nullptr, 0},
    {"version", no_argument, nullptr, 0},
    {"list", no_argument, nullptr, 0},
    {"freq", no_argument, nullptr, 0},
    {"mem", no_argument, nullptr, 0},
    {"help", no_argument, nullptr, 0},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

Vantrix::Vantrix()
    : mDumpClient(new DumpClient()),
      mDumpVersion(new DumpVersion()),
      mDumpMemory(new DumpMemory()),
      mServiceName(),
      mDumpSize(0),
      mMessageId(0),
      mIdleTimeout((unsigned int)kDefaultIdleTimeout),
      mMaxDumpMiB(kDefaultMaxDumpMiB),
      mUriName(kDumpUriName),
      mModuleMode(true),
      mShowVersion(false),
      mVersionList(false),
      mShowFreq(false),
      mShowMem(false) {}

Vantrix::~Vantrix() {
  mDumpClient.reset();
  mDumpBuffer.reset();
  mDumpVersion.reset();
  mDumpMemory.reset();
}

int Vantrix::start(int argc, char *const *argv) {
  std::vector<std::string> modules;
  std::vector<std::string> args;

  optind = 1;
  while (mModuleMode) {
    int index = 0;
    int c = getopt_long(argc, argv, "+", kLongOptions, &index);
    if (c == -1) break;
    if (c != 0) {
      fputs("\n", stderr);
      fputs(kUsageText, stderr);
      continue;
    }
    const char *name = kLongOptions[index].name;
    if (strcmp(name, "uri") == 0) {
      mUriName = optarg;
      mModuleMode = false;
    } else if (strcmp(name, "version") == 0) {
      mShowVersion = true;
    } else if (strcmp(name, "list") == 0) {
      mVersionList = true;
    } else if (strcmp(name, "freq") == 0) {
      mShowFreq = true;
    } else if (strcmp(name, "mem") == 0) {
      mShowMem = true;
    } else if (strcmp(name, "help") == 0) {
      fputs(kUsageText, stderr);
      return 0;
    }
  }

  if (mShowFreq) return mDumpMemory->dumpModuleFreq();
  if (mShowMem) return mDumpMemory->dumpMemoryInfo();
  if (mShowVersion || (argc > 1 && strcmp(argv[1], "version") == 0)) {
    mDumpVersion->dumpSetDumpList(mVersionList);
    return mDumpVersion->dumpModuleVersion();
  }

  if (argc == 1) {
    modules.push_back("all");
    Snprintf(mServiceName, sizeof(mServiceName), "%s", "all");
  }
  for (int i = optind; i < argc; ++i) {
    if (mModuleMode && i == optind) {
      modules.push_back(argv[i]);
      Snprintf(mServiceName, sizeof(mServiceName), "%s", argv[i]);
    } else {
      args.push_back(argv[i]);
    }
  }
  generateJson(modules, args);
  if (!generateRequest()) return 0;
  readSettings();
  if (InitDumpClient()) {
    if (DumpClientSendModule()) {
      DumpClientReceiveDump();
    } else {
      printf("%s: Confirm TQZEL has been initialized and running?\n", "start");
    }
  }
  return writeDumpToStd();
}

bool Vantrix::generateJson(std::vector<std::string> &modules, std::vector<std::string> &args) {
  appendRequestJson(&mRequest, modules, args, mModuleMode);
  return true;
}

bool Vantrix::generateRequest() {
  if (mUriName.find('#') != std::string::npos) {
    fprintf(stderr,
            "quillox: the uri name \"%s\" holds '#', the request's separator; nothing sent\n",
            mUriName.c_str());
    return false;
  }
  mRequestText = makeRequestText(mUriName, mRequest);
  // A cut request would reach the service without its closing '#'.
  if (mRequestText.size() >= kRequestSize) {
    fprintf(stderr,
            "quillox: the request text is %zu bytes long, over the limit of %u; nothing sent\n",
            mRequestText.size(), kRequestSize - 1);
    return false;
  }
  return true;
}

void Vantrix::readSettings() {
  mIdleTimeout =
      (unsigned int)environmentNumber("QUILLOX_TIMEOUT", 0, kMaxIdleTimeout, kDefaultIdleTimeout);
  mMaxDumpMiB = environmentNumber("QUILLOX_MAX_DUMP", 1, kMaxMaxDumpMiB, kDefaultMaxDumpMiB);
}

bool Vantrix::InitDumpClient() {
  if (!mDumpClient) return true;
  mDumpClient->setIdleTimeout(mIdleTimeout);
  return mDumpClient->sockClientOpen(serviceUri());
}

void Vantrix::useDumpClient(std::unique_ptr<DumpClient> client) {
  mDumpClient = std::move(client);
}

bool Vantrix::DumpClientSendModule() {
  char request[kRequestSize] = {};
  Snprintf(request, sizeof(request), "%s", mRequestText.c_str());
  if (!mDumpClient) return true;
  return mDumpClient->sendDump(kRequestType, request, sizeof(request));
}

bool Vantrix::DumpClientReceiveDump() {
  if (!mDumpClient) return true;
  if (!mDumpClient->receiveDumpMessage(mMessageId, mDumpSize)) return false;
  if (dumpOverLimit(mDumpSize, mMaxDumpMiB)) {
    printf("%s: refusing a dump of %u bytes, over the limit of %lu MiB (QUILLOX_MAX_DUMP)\n",
           "DumpClientReceiveDump", mDumpSize, mMaxDumpMiB);
    return false;
  }
  // An allocation that cannot be made ends the reception like a dump that does not arrive.
  mDumpBuffer.reset(allocateDumpBuffer(mDumpSize));
  if (!mDumpBuffer) {
    printf("%s: cannot allocate %u bytes for the dump\n", "DumpClientReceiveDump", mDumpSize);
    return false;
  }
  if (mDumpClient->receiveDump(mDumpBuffer.get(), mDumpSize)) return true;
  mDumpBuffer.reset();
  return false;
}

bool Vantrix::writeDump(int fd, const char *name) {
  if (!mDumpClient || !mDumpBuffer) return true;
  bool written = WriteFully(fd, mDumpBuffer.get(), mDumpSize);
  if (!written) {
    int error = errno;
    std::cerr << "Failed to write while dumping service " << name << ": " << strerror(error)
              << std::endl;
  }
  mDumpBuffer.reset();
  return written;
}

bool Vantrix::writeDumpHeader(int fd, const char *name) {
  std::string header = kSeparator;
  StringAppendF(&header, "DUMP OF SERVICE %s:\n", name);
  WriteStringToFd(header, fd);
  return true;
}

bool Vantrix::writeDumpFooter(int fd, const char *name) {
  std::string footer = kSeparator;
  StringAppendF(&footer, "END DUMP OF SERVICE %s:\n", name);
  WriteStringToFd(footer, fd);
  return true;
}

bool Vantrix::writeDumpToStd() {
  writeDumpHeader(1, mServiceName);
  bool written = writeDump(1, mServiceName);
  writeDumpFooter(1, mServiceName);
  return written;
}
