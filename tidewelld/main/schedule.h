// The list download schedule's process-wide state, in one record so that a test can
// start from a fresh one.
#pragma once

#include <cstdint>

#include "oslib/icu_date.h"

struct DownloadSchedule {
    bool bootfwVerInfoTxt = true;          // the first call still judges the list's age
    bool startupVerInfoDownload = true;    // start-up retries still wanted
    int32_t downloadRetryLeftCount = 59;   // a retry runs while this is 0 or more
    int32_t nextDownloadRetryCountSec = 0; // calls since the last retry check
    bool isStartupFetchwickLaunched = false;
    // The clock of the list's age and of "lastCheckDate"; set before any thread starts.
    double (*nowMillis)() = oslib::NowMillis;
};

// Touched by the main thread only, but for the clock, which the device-change thread
// reads when it stamps and checks "lastCheckDate".
extern DownloadSchedule _schedule;
