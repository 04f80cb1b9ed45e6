// Whether the downloader's check interval has passed since the last device firmware check.
#include "main/check_interval.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "dataCollector/preferences.h"
#include "oslib/icu_date.h"
#include "oslib/log.h"

double (*_clock)() = oslib::NowMillis;

namespace {

// "lastCheckDate" as milliseconds; false when it is not a string in the reading format.
bool LastCheckDate(double& millis)
{
    std::optional<std::string> stored;
    return readFwVersionLastCheckDate(stored) == 0 && stored &&
           oslib::ParseDate("YYYY-MM-dd HH:mm:ss", *stored, millis);
}

} // namespace

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
    double elapsedDays = std::trunc((_clock() - checked) / 1000.0 / 60.0 / 60.0 / 24.0);
    auto days = static_cast<int32_t>(std::clamp(elapsedDays, double(INT32_MIN), double(INT32_MAX)));
    TW_LOG(3, "diffDate:%d, interval:%d\n", days, static_cast<int32_t>(interval));
    TW_TRACE_OUT();
    return interval <= static_cast<uint32_t>(days);
}
