// The agent's process-wide state: what start-up sets up and the other parts read.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "dataCollector/device_list.h"
#include "dataCollector/host_info.h"

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

// Builds the three list paths from the user's folders.
void BuildListPaths();
// Gives both device lists their (empty) id arrays; before the first rescan.
void InitDeviceLists();
// The agent's process-wide state as a fresh process has it, the device lists released: for
// a process that runs the agent's parts one after another (the tests).
void ResetAgentState();
