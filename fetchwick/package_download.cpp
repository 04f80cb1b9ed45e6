#include "package_download.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "download_folder.h"
#include "guarded.h"

namespace fetchwick {

namespace {

struct Transfer {
    DownloadFile& file;
    std::atomic<bool>& cancelled;
    std::atomic<curl_off_t>& received;
    std::atomic<curl_off_t>& total;
    int writeError = 0;
    bool tooLarge = false;
};

size_t Receive(char* data, size_t size, size_t count, void* userData)
{
    auto* transfer = static_cast<Transfer*>(userData);
    size_t n = size * count;
    curl_off_t received = transfer->received + static_cast<curl_off_t>(n);
    if (received > kPackageLimits.maxBodyBytes) {
        transfer->tooLarge = true;
        return 0;  // a write error ends the transfer
    }
    if (!transfer->file.Write(data, n)) {
        transfer->writeError = errno;
        return 0;
    }
    transfer->received = received;
    return n;
}

int ReportProgress(void* userData, curl_off_t total, curl_off_t, curl_off_t, curl_off_t)
{
    auto* transfer = static_cast<Transfer*>(userData);
    transfer->total = total;
    return transfer->cancelled ? 1 : 0;
}

// Why a transfer that libcurl ended did not bring the file, in words for the user.
std::string FailureReason(CURLcode code, const char* detail, const Transfer& transfer)
{
    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return "the package is larger than " + std::to_string(kPackageLimits.maxBodyBytes >> 20) + " MiB";
    }
    if (transfer.writeError != 0) {
        return std::string("the file could not be written: ") + std::strerror(transfer.writeError);
    }
    return detail[0] != '\0' ? detail : curl_easy_strerror(code);
}

DownloadResult Fetch(const std::string& url, const std::string& folder, std::atomic<bool>& cancelled,
                     std::atomic<curl_off_t>& received, std::atomic<curl_off_t>& total)
{
    DownloadResult result;
    std::unique_ptr<DownloadFile> file = DownloadFile::Create(folder, result.reason);
    oslib::CurlEasy handle(file ? curl_easy_init() : nullptr);
    if (!file || !handle) {
        result.reason = file ? "the transfer could not be set up" : result.reason;
        return result;
    }
    Transfer transfer{*file, cancelled, received, total};
    char detail[CURL_ERROR_SIZE] = {};
    CURL* curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // Download hosts often send the client on to a mirror: over https alone, a few times.
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);  // an error page is no package
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Receive);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, ReportProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    CURLcode code = oslib::ApplyHttpsOptions(curl, kPackageLimits);
    if (code == CURLE_OK) {
        code = curl_easy_perform(curl);
    }
    if (cancelled) {
        result.cancelled = true;
        result.reason = "cancelled";
    } else if (code != CURLE_OK) {
        result.reason = FailureReason(code, detail, transfer);
    } else if (received == 0) {
        result.reason = "the server sent an empty file";
    } else {
        result.path = file->Place(PackageFileName(url), result.reason);
    }
    return result;
}

} // namespace

PackageDownload::PackageDownload(std::string url, std::string folder, Progress progress, Done done)
    : url_(std::move(url)), folder_(std::move(folder)), progress_(std::move(progress)), done_(std::move(done))
{
    thread_ = std::thread(&PackageDownload::Run, this);
    poll_ = g_timeout_add(100, Poll, this);
}

PackageDownload::~PackageDownload()
{
    Cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
    if (poll_ != 0) {
        g_source_remove(poll_);
    }
}

void PackageDownload::Run()
{
    // No exception leaves the thread.
    try {
        result_ = Fetch(url_, folder_, cancelled_, received_, total_);
    } catch (...) {
        result_ = DownloadResult{};
        result_.reason = "the download failed for lack of memory";
    }
    finished_ = true;
}

gboolean PackageDownload::Poll(gpointer self)
{
    auto* download = static_cast<PackageDownload*>(self);
    if (!download->finished_) {
        Guarded("download progress", [download] { download->progress_(download->received_, download->total_); });
        return G_SOURCE_CONTINUE;
    }
    download->thread_.join();
    download->poll_ = 0;
    Done done = std::move(download->done_);
    DownloadResult result = std::move(download->result_);
    Guarded("download end", [&done, &result] { done(result); });  // may have deleted the download
    return G_SOURCE_REMOVE;
}

} // namespace fetchwick
