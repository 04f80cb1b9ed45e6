// The watch over running DJ applications: which watched application runs while which vendor
// device is connected, and one usage report for each new pairing. Main thread only.
#pragma once

#include <cstdint>

#include "dataCollector/device_list.h"
#include "dataCollector/host_info.h"

// The serial number's hash that device keys carry above the product ID.
uint16_t CalcSerialHash(const char* s);
// Makes the table's keys those of the list's devices. By reference, so that clang's analysis
// sees a caller pass a guarded list (the global ones) without its lock.
void UpdateAppStatus(uint8_t flag, const UsbDevicesInfo& list);
// Looks at the processes and reports every application start since the last look.
void CollectAppInfo(MacInfo* mac, UsbDevicesInfo* list);
