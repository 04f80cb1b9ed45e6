// Usage reports: composed from a device and an application start, sent past the gate,
// saved in the downloader's preferences when they cannot go, and sent again later.
#pragma once

#include <string>

#include "dataCollector/app_table.h"
#include "dataCollector/device_list.h"
#include "dataCollector/host_info.h"

struct _xdate_send_info_t;

struct _xdate_save_info_t {
    std::string agentName;
    std::string deviceVersion;
    std::string deviceSerial;
    std::string appConnected;
    std::string dateConnected;
    bool doesSend = false;
};

// While the configuration says no to usage reports (doNotTrack), no gate is asked, no beacon
// sent, no report saved or sent again, and sendData returns -1.

// 0 sent, 1 the beacon failed (saved), -1 the gate said no (saved).
int sendData(MacInfo& host, UsbDeviceInfo& device, AppInfo& app);
int sendData(MacInfo& host, _xdate_save_info_t& saved);
void saveData(const _xdate_send_info_t* report);
void SendSavedInfo(MacInfo* host);
void NotifyDeviceConnect(bool isDeviceConnect);
