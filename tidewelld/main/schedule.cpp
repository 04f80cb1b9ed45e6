// Check schedule: when the lists are downloaded, the start-up retries, and whether the
// downloader's check interval has passed.
#include "main/schedule.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sys/stat.h>

#include "main/main.h"
#include "oslib/fetchwick_contract.h"

DownloadSchedule _schedule;

namespace {

constexpr double kDaySeconds = 86400.0;
constexpr int32_t kRetryEveryCalls = 60;

// After a download: starts the downloader as updater when the list is valid and names a
// newer self version (the device list is read under _lock). With onlyOnce, not again
// after an earlier launch.
void LaunchUpdaterIfBehind(bool onlyOnce)
{
    if (!ValidateFileVersion(fwVerInfoTxtPath, kListVersion)) {
        return;
    }
    bool behind = false;
    {
        std::lock_guard<std::mutex> guard(_lock);
        behind = UpdateFwVerTidewell(&_usbQnlDevInfo);
    }
    if (behind && !(onlyOnce && _schedule.isStartupFetchwickLaunched)) {
        LaunchFetchwick(fetchwick::kModeUpdater);
        _schedule.isStartupFetchwickLaunched = true;
    }
}

int CollectBothLists() { return CollectVariousList(fwVerInfoTxtPath.c_str(), tarProductIdPath.c_str()); }

// "lastCheckDate" as milliseconds; false when it is not a string in the reading format.
bool LastCheckDate(double& millis)
{
    oslib::PlistPtr stored;
    std::string value;
    if (readFwVersionLastCheckDate(stored) != 0 || !oslib::PlistStringValue(stored.get(), value)) {
        return false;
    }
    return oslib::ParseDate("YYYY-MM-dd HH:mm:ss", value, millis);
}

} // namespace

int32_t diffFileDateAndCurDate()
{
    TW_TRACE_IN();
    struct stat info {};
    if (stat(fwVerInfoTxtPath.c_str(), &info) != 0) {
        TW_LOG(3, "diffDay(force):%d\n", 1);
        return 1;
    }
    double modified = static_cast<double>(info.st_mtim.tv_sec) * 1000.0 + static_cast<double>(info.st_mtim.tv_nsec) / 1e6;
    double now = _schedule.nowMillis();
    // A date in the future gives a huge unsigned hour count: such a list counts as old.
    auto hours = static_cast<uint32_t>(static_cast<int64_t>((now - modified) / 1000.0 / 60.0 / 60.0));
    auto days = static_cast<int32_t>(hours / 24);
    if (hours >= 12 && hours <= 23) {
        days = oslib::DayOfMonth(now) == oslib::DayOfMonth(modified) ? days : 1;
    }
    TW_TRACE_OUT();
    return days;
}

bool DownloadVariousList(double elapsedSeconds)
{
    bool due = false;
    if (_schedule.bootfwVerInfoTxt) {
        due = diffFileDateAndCurDate() > 0;
        _schedule.bootfwVerInfoTxt = false;
    }
    if (!due && !(elapsedSeconds > kDaySeconds)) {
        return false;
    }
    CollectBothLists();
    LaunchUpdaterIfBehind(false);
    return true;
}

bool DownloadVariousListRetry()
{
    bool succeeded = false;
    if (_schedule.startupVerInfoDownload && _schedule.nextDownloadRetryCountSec >= kRetryEveryCalls &&
        _schedule.downloadRetryLeftCount >= 0) {
        _schedule.nextDownloadRetryCountSec = 0;
        if (diffFileDateAndCurDate() <= 0) {
            _schedule.startupVerInfoDownload = false;
        } else {
            int result = CollectBothLists();
            TW_LOG(3, "download fwVerList. result=%d retry left=%d\n", result, _schedule.downloadRetryLeftCount);
            --_schedule.downloadRetryLeftCount;
            if (result == 0) {
                _schedule.startupVerInfoDownload = false;
                succeeded = true;
            }
            // A failed retry may still have left a valid list from an earlier run.
            LaunchUpdaterIfBehind(true);
        }
    }
    ++_schedule.nextDownloadRetryCountSec;
    return succeeded;
}

bool HasPastIntervalValue()
{
    TW_TRACE_IN();
    uint32_t interval = 0;
    if (readIntervalValue(interval) == -1) {
        TW_LOG(2, "not get interval value\n");
    }
    // A date that is missing, not text or not in the reading format cannot hold back a check.
    double checked = 0;
    if (!LastCheckDate(checked)) {
        TW_LOG(3, "not get last access time\n");
        TW_TRACE_OUT();
        return true;
    }
    double elapsedDays = std::trunc((_schedule.nowMillis() - checked) / 1000.0 / 60.0 / 60.0 / 24.0);
    auto days = static_cast<int32_t>(std::clamp(elapsedDays, double(INT32_MIN), double(INT32_MAX)));
    TW_LOG(3, "diffDate:%d, interval:%d\n", days, static_cast<int32_t>(interval));
    TW_TRACE_OUT();
    return interval <= static_cast<uint32_t>(days);
}
