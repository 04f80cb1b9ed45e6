// What every transfer of the agent shares: handle ownership, TLS trust and time limits.
#pragma once

#include <curl/curl.h>
#include <memory>

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

// Limits that keep a dead or stalling server from holding the tick loop.
struct TransferLimits {
    long connectSeconds;   // connection set-up
    long stallSeconds;     // give up when under 1 byte/s for this long (0: no check)
    long totalSeconds;     // whole transfer (0: no limit)
    bool endOnStop;        // end the transfer as soon as a SIGTERM is pending
};

constexpr TransferLimits kListLimits{30, 60, 0, true};
// A beacon cut off by a stop after the server took it is saved and sent again: a report
// may arrive twice, none is lost.
constexpr TransferLimits kAnalyticsLimits{10, 0, 30, true};

// No signals (the agent's tick is SIGALRM), the server's certificate and host name
// verified, CURL_CA_BUNDLE (when set) trusted instead of the system's store, and limits.
void ApplyTransportOptions(CURL* handle, const TransferLimits& limits);
