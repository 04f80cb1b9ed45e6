// USB device lists: fixed-capacity records of the vendor's devices, their post-processing
// (duplicates, black list), snapshot and release. Nothing here takes a lock; the callers
// hold _lock around the global lists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
