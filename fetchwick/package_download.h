// One package download on a thread of its own, so that the window never waits: https alone
// with the shared limits, progress and a cancel; the file appears in the download folder
// only when it is complete.
#pragma once

#include <atomic>
#include <curl/curl.h>
#include <functional>
#include <glib.h>
#include <string>
#include <thread>

#include "oslib/https_transfer.h"

namespace fetchwick {

// A package is far larger than a list, and a person waits for it: the same kinds of limits
// as the agent's transfers, with its stall limit, and room for firmware and an installer.
constexpr oslib::TransferLimits kPackageLimits{30, 60, 3600, 256 * 1024 * 1024};

struct DownloadResult {
    std::string path;    // where the file went; empty when it did not
    std::string reason;  // why it did not, for the user
    bool cancelled = false;
};

// Lives on the main thread; its callbacks come from the main loop.
class PackageDownload {
public:
    using Progress = std::function<void(curl_off_t received, curl_off_t total)>;  // total 0: unknown
    using Done = std::function<void(const DownloadResult& result)>;  // may delete the download

    // Starts fetching `url` into `folder` under its package name.
    PackageDownload(std::string url, std::string folder, Progress progress, Done done);
    // Cancels, and waits for the thread: at most about a second, the transfer's own
    // progress interval. No callback comes afterwards.
    ~PackageDownload();
    PackageDownload(const PackageDownload&) = delete;
    PackageDownload& operator=(const PackageDownload&) = delete;

    // Any thread. The result says cancelled unless the file was placed already.
    void Cancel() { cancelled_ = true; }

private:
    static gboolean Poll(gpointer self);
    void Run();

    const std::string url_;
    const std::string folder_;
    Progress progress_;
    Done done_;
    std::atomic<bool> cancelled_{false};
    std::atomic<curl_off_t> received_{0};
    std::atomic<curl_off_t> total_{0};
    std::atomic<bool> finished_{false};  // result_ is written and the thread ends
    DownloadResult result_;
    guint poll_ = 0;  // the main loop's timer that reports progress and the end
    std::thread thread_;
};

} // namespace fetchwick
