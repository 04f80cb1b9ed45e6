// The watched-application table: the seven DJ applications the agent looks for and, per
// connected device key, whether each runs now and did at the last look. Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct AppExecStatus {
    std::string bundleName;
    std::string execName;
    std::string displayName;
    std::string appCode;
    std::map<uint64_t, int8_t> execStatus;
    std::map<uint64_t, int8_t> lastExecStatus;
};

constexpr int kWatchedApps = 7;
extern AppExecStatus _appStatus[kWatchedApps];

// The usage snapshot of one application start.
struct AppInfo {
    std::string appCode;
    std::string startTime;
    std::string endTime;
};

// Sets every row's states to whether its application runs now, from one look at the processes.
void searchProcess(AppExecStatus (&table)[kWatchedApps]);
// The table's rows with the same device keys, every state 0.
void copyAPStatus(AppExecStatus (&destination)[kWatchedApps]);
