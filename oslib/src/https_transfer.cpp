#include "oslib/https_transfer.h"

#include <strings.h>
#include <sys/socket.h>

#include "oslib/configuration.h"

namespace oslib {

namespace {

// Close-on-exec like every descriptor of the programs: a child started during a transfer
// must not keep its connection open.
curl_socket_t OpenCloseOnExecSocket(void*, curlsocktype, curl_sockaddr* address)
{
    return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

} // namespace

CURLcode ApplyHttpsOptions(CURL* handle, const TransferLimits& limits)
{
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, OpenCloseOnExecSocket);
    // A libcurl that cannot restrict them (older than 7.85) gets no transfer at all.
    CURLcode restricted = curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https");
    if (restricted == CURLE_OK) {
        restricted = curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    }
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    const std::string& bundle = Configured().caBundle;
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

bool IsHttpsUrl(const std::string& url)
{
    const std::string scheme = "https://";
    return url.size() > scheme.size() && strncasecmp(url.c_str(), scheme.c_str(), scheme.size()) == 0;
}

} // namespace oslib
