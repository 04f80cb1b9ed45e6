// The agent's process-wide state: what start-up sets up and the other parts read.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "dataCollector/device_list.h"
#include "dataCollector/host_info.h"
#include "oslib/mutex.h"

// Guards the two device lists, the target product list they are filtered by, and the update
// decisions that read them (both write the hand-off file). Taken by the device-change thread
// around the rescan and the firmware decision, by the main thread around the start-up rescan,
// the updater decision after a list download and the application watch's look at the
// all-units list. No thread takes it twice.
// Lock order: _lock, then the log's _logLock (any log line under _lock) or the preferences'
// merge lock ("lastCheckDate"), never the reverse. Both are private to the shared layer,
// which cannot call into the agent, so no code that holds one can take _lock; clang cannot
// see them from here, and checks an order only in its beta analysis anyway.
extern oslib::Mutex _lock;

extern MacInfo _macInfo;
extern std::string tarProductIdPath;  // the list folder + "tar_product_info.txt"
extern std::string fwVerInfoTxtPath;  // the list folder + "firm_version_info.txt"
extern std::string fwVerUpTxtPath;    // the support folder + "firm_version_up.txt"
extern IdArray whiteList GUARDED_BY(_lock);
extern IdArray blackList GUARDED_BY(_lock);                  // the target product list's IDs
extern UsbDevicesInfo _usbQnlDevInfo GUARDED_BY(_lock);      // one entry per product (mode 0)
extern UsbDevicesInfo _usbQnlAllDevInfo GUARDED_BY(_lock);   // every unit (mode 1)
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
