// The USB scan: every device of the vendor, hubs excepted, appended to a device list with
// its strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "dataCollector/device_list.h"

// Where the devices are plugged in that left a string request unanswered. One rescan
// scans the bus once per list; shared by its scans, it keeps a device that hangs from
// costing a time-out in each.
using UnansweredDevices = std::set<std::string>;

// Appends every vendor device (hubs excepted) to the list; returns how many passed. A
// device in `unanswered` is recorded without strings, and one that leaves a request
// unanswered is added to it.
int CheckUSBAudio(int vendorId, UsbDevicesInfo* list, UnansweredDevices& unanswered);

// The text of a USB string descriptor as the device lists keep it. Decodes a reply of
// `transferred` bytes (negative: the request failed) that arrived in `buffer` of `capacity`
// bytes. The reply's own length byte is ignored: the bytes transferred count, and each
// UTF-16LE unit after the 2-byte header gives its low byte. Fewer than 3 bytes leave the
// string absent (null, length 0); otherwise *string is a malloc'd block of *length + 1 bytes.
void decodeUSBStringDescriptor(const uint8_t* buffer, size_t capacity, int transferred, char** string,
                               uint16_t* length);
