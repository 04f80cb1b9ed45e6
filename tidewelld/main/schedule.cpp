// Check schedule: when the lists are downloaded, and the start-up retries.
#include "main/schedule.h"

#include <sys/stat.h>

#include "dataCollector/collect_list.h"
#include "main/check_interval.h"
#include "main/device_change.h"
#include "main/list_files.h"
#include "main/main.h"
#include "main/update_decision.h"
#include "oslib/fetchwick_contract.h"
#include "oslib/icu_date.h"
#include "oslib/log.h"
#include "oslib/user_folders.h"

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
        oslib::MutexLock guard(_lock);
        behind = UpdateFwVerTidewell(&_usbQnlDevInfo);
    }
    if (behind && !(onlyOnce && _schedule.isStartupFetchwickLaunched)) {
        LaunchFetchwick(fetchwick::kModeUpdater);
        _schedule.isStartupFetchwickLaunched = true;
    }
}

int CollectBothLists() { return CollectVariousList(fwVerInfoTxtPath.c_str(), tarProductIdPath.c_str()); }

} // namespace

int32_t diffFileDateAndCurDate()
{
    TW_TRACE_IN();
    // Dated as the agent reads it: a list in a folder it does not trust counts as missing.
    struct stat info {};
    if (oslib::OpenRegularFile(fwVerInfoTxtPath, O_RDONLY, info).get() < 0) {
        TW_LOG(3, "diffDay(force):%d\n", 1);
        return 1;
    }
    double modified = static_cast<double>(info.st_mtim.tv_sec) * 1000.0 + static_cast<double>(info.st_mtim.tv_nsec) / 1e6;
    double now = _clock();
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
