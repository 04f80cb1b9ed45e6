// The host's identity and description, collected once at start-up for the usage reports.
#pragma once

#include <string>

struct MacInfo {
    std::string hardwareUUID;   // empty until collected
    std::string processorName;
    std::string systemVersion;
};

// 0 when the identifier and the system version were found, else -1 with `info` unchanged.
int CollectMacInfo(MacInfo* info);
