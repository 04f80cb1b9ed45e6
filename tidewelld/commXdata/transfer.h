// What every transfer of the agent shares: the https options of the shared layer, the
// agent's limits, and an end as soon as a SIGTERM is pending.
#pragma once

#include "oslib/https_transfer.h"
#include "oslib/whole_file.h"

// A list is a few kilobytes; a server that trickles under the stall check still ends.
constexpr oslib::TransferLimits kListLimits{30, 60, 180, static_cast<curl_off_t>(oslib::kListCap)};
// A beacon cut off by a stop after the server took it is saved and sent again: a report
// may arrive twice, none is lost.
constexpr oslib::TransferLimits kAnalyticsLimits{10, 0, 30, 64 * 1024};

// The shared options, and the transfer's end on a pending SIGTERM rather than after a
// stalled server's whole stall limit. Not CURLE_OK when the transfer must not be performed.
CURLcode ApplyTransportOptions(CURL* handle, const oslib::TransferLimits& limits);
