// Where the tuning service listens and how a dump is asked of it. camtools-check asks the service
// the same way quillox does.
#ifndef QUILLOX_SERVICE_ENDPOINT_H
#define QUILLOX_SERVICE_ENDPOINT_H

#include <string>

// The service's fixed address.
extern const char kServiceUri[];
// The address in QUILLOX_SERVICE when it is set and not empty, else kServiceUri.
const char *serviceUri();

// The largest idle time-out QUILLOX_TIMEOUT takes, in seconds (0 waits for ever).
const unsigned long kMaxIdleTimeout = 86400;

// The largest dump taken, in MiB: QUILLOX_MAX_DUMP from 1 to kMaxMaxDumpMiB, else the default.
// No real dump comes near the default; a larger announcement is a corrupt or hostile head, whose
// bytes would be taken into memory as they arrive.
const unsigned long kDefaultMaxDumpMiB = 256;
const unsigned long kMaxMaxDumpMiB = 4096;  // beyond any 32-bit size
// Whether an announced dump of `size` bytes is over the limit of `maxDumpMiB`, and refused.
bool dumpOverLimit(unsigned int size, unsigned long maxDumpMiB);

// A dump request is a message of this type carrying the request text in a zero-filled payload of
// this many bytes, which leaves room for kRequestSize - 1 bytes of text and a terminator.
const unsigned int kRequestType = 5;
const unsigned int kRequestSize = 1024;
// The uri of a dump where --uri names none.
extern const char kDumpUriName[];

// The request text "/cam/tqzel/URI#JSON#".
std::string makeRequestText(const std::string &uriName, const std::string &json);

#endif  // QUILLOX_SERVICE_ENDPOINT_H
