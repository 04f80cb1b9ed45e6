// What every https transfer shares: handle ownership, https alone with TLS trust, and
// limits in size and time.
#pragma once

#include <curl/curl.h>
#include <memory>
#include <string>

namespace oslib {

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

// Limits that keep a dead, stalling, trickling or flooding server from holding the caller
// or filling the disk.
struct TransferLimits {
    long connectSeconds;      // connection set-up
    long stallSeconds;        // give up when under 1 byte/s for this long (0: no check)
    long totalSeconds;        // whole transfer (0: no limit)
    curl_off_t maxBodyBytes;  // a longer body fails the transfer
};

// https alone (redirects included), no signals, close-on-exec sockets, the server's
// certificate and host name verified, the configured CA bundle (when set) trusted instead
// of the system's store, and the limits. Not CURLE_OK when https alone cannot be enforced:
// the transfer must then not be performed. The proxy variables stay libcurl's to read.
CURLcode ApplyHttpsOptions(CURL* handle, const TransferLimits& limits);

// True for "https://" (any letter case) with something after it: every transfer speaks
// https alone, and any other address could only fail.
bool IsHttpsUrl(const std::string& url);

} // namespace oslib
