// The list download schedule's process-wide state, in one record so that a test can
// start from a fresh one.
#pragma once

#include <cstdint>

#include "platform/icu_date.h"

struct DownloadSchedule {
    bool bootfwVerInfoTxt = true;          // the first call still judges the list's age
    bool startupVerInfoDownload = true;    // start-up retries still wanted
    int32_t downloadRetryLeftCount = 59;   // a retry runs while this is 0 or more
    int32_t nextDownloadRetryCountSec = 0; // calls since the last retry check
    bool isStartupFetchwickLaunched = false;
    double (*nowMillis)() = platform::NowMillis; // the clock that dates the list's age
};

// Touched by the main thread only.
extern DownloadSchedule _schedule;
