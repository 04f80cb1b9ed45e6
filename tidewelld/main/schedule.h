// Check schedule: when the lists are downloaded, and the start-up retries. Its process-wide
// state is one record, so that a test can start from a fresh one.
#pragma once

#include <cstdint>

struct DownloadSchedule {
    bool bootfwVerInfoTxt = true;          // the first call still judges the list's age
    bool startupVerInfoDownload = true;    // start-up retries still wanted
    int32_t downloadRetryLeftCount = 59;   // a retry runs while this is 0 or more
    int32_t nextDownloadRetryCountSec = 0; // calls since the last retry check
    bool isStartupFetchwickLaunched = false;
};

// Touched by the main thread only.
extern DownloadSchedule _schedule;

// Once per tick: true when a download was started (the loop then restarts its day).
bool DownloadVariousList(double elapsedSeconds);
// True only when a start-up retry download succeeded.
bool DownloadVariousListRetry();
// The age of the firmware version list in days; 1 when there is none.
int32_t diffFileDateAndCurDate();
