// The agent's process frame: what the other modules use of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

#include "dataCollector/dataCollector.h"
#include "oslib/log.h"

// ---- Process-wide state (set up by start-up) ----

// Guards the two device lists and the update decisions that read them. Never taken
// while the log's _logLock is held.
extern std::mutex _lock;

extern MacInfo _macInfo;
extern std::string tarProductIdPath;  // home + "/Library/Quenlar/tar_product_info.txt"
extern std::string fwVerInfoTxtPath;  // home + "/Library/Quenlar/firm_version_info.txt"
extern std::string fwVerUpTxtPath;    // Library + "/Application Support/Quenlar/firm_version_up.txt"
extern IdArray whiteList;
extern IdArray blackList;
extern UsbDevicesInfo _usbQnlDevInfo;     // one entry per product (mode 0)
extern UsbDevicesInfo _usbQnlAllDevInfo;  // every unit (mode 1)
extern std::atomic<uint8_t> _connect;     // 1 while the last scan found a vendor device
extern std::atomic<uint8_t> gExitFlag;

constexpr int kVendorId = 14972;  // 0x3A7C

constexpr const char* kListVersion = "091";  // the FormatVersion both list files carry

// Builds the three list paths from the user's folders.
void BuildListPaths();
// Gives both device lists their (empty) id arrays; before the first rescan.
void InitDeviceLists();

// ---- Signal loop and tick ----

// Once per tick: saved-report resend, application watch, idle clearing.
void CollectCustomerInfo();

// ---- Check schedule ----

bool DownloadVariousList(double elapsedSeconds);
bool DownloadVariousListRetry();
int32_t diffFileDateAndCurDate();
bool HasPastIntervalValue();

// ---- Device change and downloader launch ----

// The device-change callback; all arguments are ignored. Returns 0.
int32_t onDeviceChange(uint32_t objectID, uint32_t addressCount, const void* addresses, void* clientData);
void deviceFound(int32_t previousCount, int32_t currentCount);
void LaunchFetchwick(const std::string& mode);

// The rescan of both device lists. Returns the mode-0 collection's result and the
// device counts of _usbQnlDevInfo before and after. The caller holds _lock once
// another thread exists.
bool RescanDevices(int32_t& previousCount, int32_t& currentCount);

// ---- List files and update decision ----

bool ValidateFileVersion(const std::string& path, const std::string& expectedVersion);
bool UpdateTarProductIdList();
bool UpdateFirmware(UsbDevicesInfo* devices);
bool UpdateFwVerTidewell(UsbDevicesInfo* devices);
