#include "commXdata/commXdata.h"

#include <string>

#include "commXdata/transfer.h"
#include "platform/stop_request.h"

commXdata::commXdata() : errorCallbackFunc(nullptr) {}

void commXdata::errorCallback(ErrorCallbackFunc func) { errorCallbackFunc = func; }

size_t commXdata::onReceive(char* data, size_t size, size_t count, void* userData)
{
    size_t n = size * count;
    auto* reply = static_cast<std::string*>(userData);
    if (reply->size() + n > static_cast<size_t>(kAnalyticsLimits.maxBodyBytes)) {
        return 0;  // a write error: the reply counts as failed
    }
    // No exception crosses libcurl: a reply that cannot grow fails the same way.
    try {
        reply->append(data, n);
    } catch (...) {
        return 0;
    }
    return n;
}

namespace {

// Ends the transfer on a pending SIGTERM, rather than hold the stop for a stalled server's
// whole stall limit.
int EndOnStopRequest(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return platform::StopRequested() ? 1 : 0;
}

} // namespace

CURLcode ApplyTransportOptions(CURL* handle, const oslib::TransferLimits& limits)
{
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, EndOnStopRequest);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    return oslib::ApplyHttpsOptions(handle, limits);
}
