// Device lists, USB scan, host information, application watch, usage reports and the
// downloader's preferences: what the other modules use of the data collector.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "oslib/plist_file.h"

// ---- Device lists ----

// Product IDs, held as signed 16-bit numbers; compare them as unsigned 16-bit values.
using IdArray = std::vector<int16_t>;

// One device slot. The strings are malloc'd blocks of length + 1 bytes owned by the slot;
// a length of 0 always goes with a null pointer.
struct UsbDeviceInfo {
    uint16_t vendorId;
    uint16_t productId;
    char* manufactureName;
    char* productName;
    char* serialNumber;
    uint16_t deviceRevision;
    uint16_t manufactureNameLen;
    uint16_t productNameLen;
    uint16_t serialNumberLen;
};

constexpr int kDeviceSlots = 65;   // capacity of a list
constexpr int kScanMaxDevices = 64; // the scan records at most this many

// Owns the strings of its slots and frees them when it goes. Its slots hold raw pointers,
// so it is neither copied nor moved (CopyDevicesInfo makes a deep copy).
struct UsbDevicesInfo {
    UsbDevicesInfo() = default;
    ~UsbDevicesInfo();
    UsbDevicesInfo(const UsbDevicesInfo&) = delete;
    UsbDevicesInfo& operator=(const UsbDevicesInfo&) = delete;

    uint16_t deviceCount = 0;
    std::unique_ptr<IdArray> whiteList;
    std::unique_ptr<IdArray> blackList;
    UsbDeviceInfo devices[kDeviceSlots] = {};
};

void InitDevicesInfo(UsbDevicesInfo* list, const IdArray& white, const IdArray& black);
bool CollectDeviceInfo(int vendorId, UsbDevicesInfo* list, int allDevices);
bool IsDuplicateDevices(UsbDevicesInfo& list);
bool RemoveDuplicateDevices(UsbDevicesInfo& list);
bool IsBlackListDevices(UsbDevicesInfo& list);
bool RemoveBlackListDevices(UsbDevicesInfo& list);
void CopyDevicesInfo(UsbDevicesInfo* dst, const UsbDevicesInfo* src);
void ReleaseDevicesInfo(UsbDevicesInfo* list);

// "%d.%d%d" from the high byte, bits 4-7 and bits 0-3 of a release number (0x0123: "1.23").
std::string DeviceVersionText(uint16_t deviceRevision);

// ---- USB scan ----

// Where the devices are plugged in that left a string request unanswered. One rescan
// scans the bus once per list; shared by its scans, it keeps a device that hangs from
// costing a time-out in each.
using UnansweredDevices = std::set<std::string>;

// Appends every vendor device (hubs excepted) to the list; returns how many passed. A
// device in `unanswered` is recorded without strings, and one that leaves a request
// unanswered is added to it.
int CheckUSBAudio(int vendorId, UsbDevicesInfo* list, UnansweredDevices& unanswered);

// ---- Host information ----

struct MacInfo {
    std::string hardwareUUID;   // empty until collected
    std::string processorName;
    std::string systemVersion;
};

int CollectMacInfo(MacInfo* info);

// ---- DJ application watch ----

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

struct AppInfo {
    std::string appCode;
    std::string startTime;
    std::string endTime;
};

uint16_t CalcSerialHash(const char* s);
void UpdateAppStatus(uint8_t flag, UsbDevicesInfo* list);
void CollectAppInfo(MacInfo* mac, UsbDevicesInfo* list);
void searchProcess(AppExecStatus (&table)[kWatchedApps]);
void copyAPStatus(AppExecStatus (&destination)[kWatchedApps]);

// ---- Usage reports ----

struct _xdate_send_info_t;

struct _xdate_save_info_t {
    std::string agentName;
    std::string deviceVersion;
    std::string deviceSerial;
    std::string appConnected;
    std::string dateConnected;
    bool doesSend = false;
};

// Set once at start-up: false when the user said no to usage reports. Then no gate is
// asked, no beacon sent, no report saved or sent again, and sendData returns -1.
void SetUsageReportsAllowed(bool allowed);
int sendData(MacInfo& host, UsbDeviceInfo& device, AppInfo& app);
int sendData(MacInfo& host, _xdate_save_info_t& saved);
void saveData(const _xdate_send_info_t* report);
void SendSavedInfo(MacInfo* host);
void NotifyDeviceConnect(bool isDeviceConnect);

// ---- The downloader's preferences ----

// Library folder + "/Preferences/com.quenlar.Fetchwick.plist".
std::string FetchwickPreferencesPath();
// Applies merge to the preferences dictionary, keeping every other key.
void MergeIntoFetchwickPreferences(const std::function<void(plist_t preferences)>& merge);

int readIntervalValue(uint32_t& interval);
// The stored "lastCheckDate" node, any type. 0 when present; -1 when the file is
// missing (value untouched) or the key is (value emptied).
int readFwVersionLastCheckDate(oslib::PlistPtr& value);
int writeFwVersionLastCheckDate(const std::string& value);

// ---- List download ----

// fw + 2 * pl, each 0 when its transfer completed.
int CollectVariousList(const char* firmListPath, const char* targetListPath);
