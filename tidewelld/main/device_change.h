// The reaction to device changes and the launch of the downloader.
#pragma once

#include <cstdint>
#include <string>

#include "main/main.h"

// The device-change callback; all arguments are ignored. Returns 0.
int32_t onDeviceChange(uint32_t objectID, uint32_t addressCount, const void* addresses, void* clientData);
void deviceFound(int32_t previousCount, int32_t currentCount);
// True when the downloader was started (a failure is logged).
bool LaunchFetchwick(const std::string& mode);

// The rescan of both device lists. Returns the mode-0 collection's result and the
// device counts of _usbQnlDevInfo before and after.
bool RescanDevices(int32_t& previousCount, int32_t& currentCount) REQUIRES(_lock);
