// What every transfer of the agent shares: handle ownership, https with TLS trust, and
// time limits.
#pragma once

#include <curl/curl.h>
#include <memory>

#include "oslib/whole_file.h"

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

// Limits that keep a dead, stalling, trickling or flooding server from holding the tick
// loop or filling the disk.
struct TransferLimits {
    long connectSeconds;       // connection set-up
    long stallSeconds;         // give up when under 1 byte/s for this long (0: no check)
    long totalSeconds;         // whole transfer (0: no limit)
    bool endOnStop;            // end the transfer as soon as a SIGTERM is pending
    curl_off_t maxBodyBytes;   // a longer body fails the transfer
};

// A list is a few kilobytes; a server that trickles under the stall check still ends.
constexpr TransferLimits kListLimits{30, 60, 180, true, static_cast<curl_off_t>(oslib::kListCap)};
// A beacon cut off by a stop after the server took it is saved and sent again: a report
// may arrive twice, none is lost.
constexpr TransferLimits kAnalyticsLimits{10, 0, 30, true, 64 * 1024};

// https alone, no signals (the agent's tick is SIGALRM), close-on-exec sockets, the
// server's certificate and host name verified, the configured CA bundle (when set) trusted
// instead of the system's store, and limits. Not CURLE_OK when https alone cannot be enforced: the
// transfer must then not be performed.
CURLcode ApplyTransportOptions(CURL* handle, const TransferLimits& limits);
