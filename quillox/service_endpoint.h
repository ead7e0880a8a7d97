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

// A dump request is a message of this type carrying the request text in a zero-filled payload of
// this many bytes, which leaves room for kRequestSize - 1 bytes of text and a terminator.
const unsigned int kRequestType = 5;
const unsigned int kRequestSize = 1024;
// The uri of a dump where --uri names none.
extern const char kDumpUriName[];

// The request text "/cam/tqzel/URI#JSON#".
std::string makeRequestText(const std::string &uriName, const std::string &json);

#endif  // QUILLOX_SERVICE_ENDPOINT_H
