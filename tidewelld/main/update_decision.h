// Update decision: which connected devices, and whether the updater itself, are behind the
// firmware version list. The result goes to the hand-off file for the downloader.
#pragma once

#include "dataCollector/device_list.h"
#include "main/main.h"

// Both write the hand-off file, one on each thread: under _lock, whichever list they judge.
// True when rows were written and the downloader's check interval has passed.
bool UpdateFirmware(UsbDevicesInfo* devices) REQUIRES(_lock);
// Stores now as "lastCheckDate": once the downloader has been started for those rows.
void StoreFirmwareCheckDate();
// True when the updater's own row was written; only while no vendor device is connected.
bool UpdateFwVerTidewell(UsbDevicesInfo* devices) REQUIRES(_lock);
