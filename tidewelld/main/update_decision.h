// Update decision: which connected devices, and whether the updater itself, are behind the
// firmware version list. The result goes to the hand-off file for the downloader.
#pragma once

#include <functional>
#include <string>

#include "dataCollector/device_list.h"
#include "main/main.h"

// One comparison of a device slot with a row of the firmware version list; its texts live
// as long as the call it is handed to.
struct FirmwareComparison {
    int slot;
    const std::string& name;        // the row's product name, the slot's too
    const std::string& current;     // the device's version text
    const std::string& latest;      // the row's version, in its display form
    const std::string& packageUrl;
    bool newer;                     // the row's version is newer: an update is due
};

// The comparisons of UpdateFirmware, in its order (the list's rows, then the slots), each
// handed to `visit`, with its log lines; nothing is written. `visit` returns false to end
// the pass, which then returns false. The firmware version list's header is not checked.
bool CompareFirmware(const UsbDevicesInfo& devices, const std::function<bool(const FirmwareComparison&)>& visit);

// Both write the hand-off file, one on each thread: under _lock, whichever list they judge.
// True when rows were written and the downloader's check interval has passed.
bool UpdateFirmware(UsbDevicesInfo* devices) REQUIRES(_lock);
// Stores now as "lastCheckDate": once the downloader has been started for those rows.
void StoreFirmwareCheckDate();
// True when the updater's own row was written; only while no vendor device is connected.
bool UpdateFwVerTidewell(UsbDevicesInfo* devices) REQUIRES(_lock);
