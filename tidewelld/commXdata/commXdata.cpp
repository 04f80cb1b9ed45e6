#include "commXdata/commXdata.h"

#include <string>
#include <sys/socket.h>

#include "commXdata/transfer.h"
#include "oslib/configuration.h"
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

// Close-on-exec like every descriptor of the agent: a downloader started by the other
// thread during a transfer must not keep its connection open.
curl_socket_t OpenCloseOnExecSocket(void*, curlsocktype, curl_sockaddr* address)
{
    return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

} // namespace

CURLcode ApplyTransportOptions(CURL* handle, const TransferLimits& limits)
{
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, OpenCloseOnExecSocket);
    if (limits.endOnStop) {
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, EndOnStopRequest);
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    }
    // https alone, also for a redirect: a list or report never travels in the clear. A
    // libcurl that cannot restrict them (older than 7.85) gets no transfer at all.
    CURLcode restricted = curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https");
    if (restricted == CURLE_OK) {
        restricted = curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    }
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    const std::string& bundle = oslib::Configured().caBundle;
    if (!bundle.empty()) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, bundle.c_str());
    }
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds);
    if (limits.stallSeconds > 0) {
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
    }
    if (limits.totalSeconds > 0) {
        curl_easy_setopt(handle, CURLOPT_TIMEOUT, limits.totalSeconds);
    }
    // Refuses an announced length at once; the write callbacks count a body sent without one.
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, limits.maxBodyBytes);
    return restricted;
}
