// List download. The body goes to a temporary file beside the list, which replaces the
// list only after a complete 2xx transfer of at least one byte and at most 4 MiB: a failed,
// cut-off, oversized or error-page response never takes the place of a good list or moves
// its date. A download counts as done only once the list is in place; one that failed says why.
#include "commXdata/commXdata.h"

#include <cstdio>
#include <memory>
#include <string>

#include "commXdata/transfer.h"
#include "oslib/log.h"
#include "oslib/replacement_file.h"

char fwUpdateURL[1024] = "https://" TIDEWELL_LIST_HOST "/application/tidewell/firm_version_info.txt";
char tarProductURL[1024] = "https://" TIDEWELL_LIST_HOST "/application/tidewell/tar_product_info.txt";

namespace {

// Copied before main, when the two arrays still hold what they were built with.
const std::string builtInURLs[] = {fwUpdateURL, tarProductURL};

struct ListMessages {
    const char* writeError;   // the first chunk could not be stored
    const char* createError;  // the temporary file could not be created
    const char* updateError;  // a later chunk could not be stored
};

constexpr ListMessages kFirmwareMessages{"Firmware update list write error\n", "Firmware update list create error\n",
                                         "Firmware update list update error\n"};
constexpr ListMessages kTargetMessages{"Target list write error\n", "Target list create error\n",
                                       "Target list update error\n"};

} // namespace

void ResetListURLs()
{
    snprintf(fwUpdateURL, sizeof fwUpdateURL, "%s", builtInURLs[0].c_str());
    snprintf(tarProductURL, sizeof tarProductURL, "%s", builtInURLs[1].c_str());
}

// One transfer's destination. The temporary file it owns is removed with it unless
// Store put it in place of the list.
struct ListDownloadContext {
    char path[1024] = {};       // the list file
    uint32_t lastChunkSize = 0; // 0 until the first chunk has been handled
    std::unique_ptr<oslib::ReplacementFile> file;
    bool stored = true;         // every chunk reached the temporary file
    bool tooLarge = false;      // the body went past the cap
    curl_off_t received = 0;    // body bytes so far, also of a body sent without a length

    explicit ListDownloadContext(const char* listPath)
    {
        snprintf(path, sizeof path, "%s", listPath);
    }

    size_t Receive(const char* data, size_t n, const ListMessages& messages)
    {
        if (n == 0) {
            return 0;
        }
        received += static_cast<curl_off_t>(n);
        if (received > kListLimits.maxBodyBytes) {
            file.reset();
            tooLarge = true;
            return 0;  // a write error: the transfer fails, the list and its date stay
        }
        if (lastChunkSize == 0) {
            file = oslib::ReplacementFile::Create(path, 0644);
            if (!file) {
                TW_LOG(5, "%s", messages.createError);
                stored = false;
            } else if (!file->Write(data, n)) {
                TW_LOG(5, "%s", messages.writeError);
                stored = false;
            }
        } else if (!file || !file->Write(data, n)) {
            TW_LOG(5, "%s", messages.updateError);
            stored = false;
        }
        lastChunkSize = static_cast<uint32_t>(n);
        return n;
    }

    // Puts a complete body in place of the list; false when it could not be stored there
    // whole (a write, the sync or the rename failed), which leaves the list as it was.
    bool Store(const ListMessages& messages)
    {
        if (!stored || !file) {
            return false;
        }
        if (file->Commit() != oslib::ReplacementFile::Outcome::kReplaced) {
            TW_LOG(5, "%s", messages.writeError);
            return false;
        }
        return true;
    }
};

namespace {

// The server of `url` as "host" or "host:port"; the URL itself when it does not parse.
std::string ServerOf(const std::string& url)
{
    std::string server = url;
    CURLU* parts = curl_url();
    char* host = nullptr;
    char* port = nullptr;
    if (parts != nullptr && curl_url_set(parts, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_get(parts, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
        server = host;
        if (curl_url_get(parts, CURLUPART_PORT, &port, 0) == CURLUE_OK) {
            server += std::string(":") + port;
        }
    }
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(parts);
    return server;
}

// Why a transfer that did not replace the list failed, for a reader who must act on it.
std::string FailureText(CURLcode result, const char* curlError, long status, const ListDownloadContext& context)
{
    if (context.tooLarge) {
        return "the list is larger than " + std::to_string(kListLimits.maxBodyBytes) + " bytes";
    }
    if (result != CURLE_OK) {
        return curlError[0] != '\0' ? curlError : curl_easy_strerror(result);
    }
    if (status < 200 || status >= 300) {
        return "HTTP status " + std::to_string(status);
    }
    if (context.lastChunkSize == 0) {
        return "the reply holds no list";
    }
    return std::string("the list could not be stored in ") + context.path;
}

// 0 when a complete 2xx body was put in place of the list, else 1 with the reason in
// `failure` and one log line ("result=1" alone tells a user nothing).
unsigned DownloadList(const char* url, const char* path, const ListMessages& messages,
                      curl_write_callback receive, std::string& failure)
{
    ListDownloadContext context(path);
    std::string address = url;
    oslib::CurlEasy handle(curl_easy_init());
    if (!handle) {
        failure = ServerOf(address) + ": no libcurl handle";
        return 1;
    }
    char curlError[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(handle.get(), CURLOPT_ERRORBUFFER, curlError);
    curl_easy_setopt(handle.get(), CURLOPT_URL, address.c_str());
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, receive);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &context);
    CURLcode result = ApplyTransportOptions(handle.get(), kListLimits);
    if (result == CURLE_OK) {
        result = curl_easy_perform(handle.get());
    }
    long status = 0;
    curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
    bool complete = result == CURLE_OK && status >= 200 && status < 300 && context.lastChunkSize > 0;
    if (complete && context.Store(messages)) {
        failure.clear();
        return 0;
    }
    std::string server = ServerOf(address);
    std::string why = FailureText(result, curlError, status, context);
    TW_LOG(4, "List download from %s failed: %s\n", server.c_str(), why.c_str());
    failure = server + ": " + why;
    return 1;
}

size_t ReceiveInto(void* userData, const char* data, size_t n, const ListMessages& messages)
{
    if (userData == nullptr) {
        return n;
    }
    // No exception crosses libcurl: one fails the transfer, which leaves the list as it was.
    try {
        return static_cast<ListDownloadContext*>(userData)->Receive(data, n, messages);
    } catch (...) {
        return 0;
    }
}

} // namespace

size_t commXdata::onFirmVersionListReceive(char* data, size_t size, size_t count, void* userData)
{
    return ReceiveInto(userData, data, size * count, kFirmwareMessages);
}

unsigned commXdata::getFirmVersionList(const char* path)
{
    return DownloadList(fwUpdateURL, path, kFirmwareMessages, onFirmVersionListReceive, listFailure_);
}

size_t commXdata::onTargetProductIDListReceive(char* data, size_t size, size_t count, void* userData)
{
    return ReceiveInto(userData, data, size * count, kTargetMessages);
}

unsigned commXdata::getTargetProductIDList(const char* path)
{
    return DownloadList(tarProductURL, path, kTargetMessages, onTargetProductIDListReceive, listFailure_);
}
