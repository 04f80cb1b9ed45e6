// Device lists: reset, post-processing (duplicates, black list), snapshot and release.
// No operation here takes a lock; the callers hold _lock around the global lists.
#include "dataCollector/device_list.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "oslib/log.h"

namespace {

void FreeString(char*& text, uint16_t& length)
{
    if (length != 0) {
        std::free(text);
    }
    text = nullptr;
    length = 0;
}

void FreeStrings(UsbDeviceInfo& device)
{
    FreeString(device.manufactureName, device.manufactureNameLen);
    FreeString(device.productName, device.productNameLen);
    FreeString(device.serialNumber, device.serialNumberLen);
}

void ClearSlot(UsbDeviceInfo& device)
{
    FreeStrings(device);
    device.vendorId = 0;
    device.productId = 0;
    device.deviceRevision = 0;
}

// An absent string (length 0, or a failed allocation) comes out as null with length 0.
void CopyString(const char* source, uint16_t sourceLength, char*& text, uint16_t& length)
{
    text = nullptr;
    length = 0;
    if (sourceLength == 0) {
        return;
    }
    text = static_cast<char*>(std::malloc(sourceLength + 1u));
    if (text != nullptr) {
        std::memcpy(text, source, sourceLength + 1u);
        length = sourceLength;
    }
}

const char* Printable(const char* text) { return text != nullptr ? text : "(null)"; }

void FillIds(IdArray* target, const IdArray& source)
{
    // A list whose arrays were never created has nothing to fill.
    if (target != nullptr) {
        *target = source;
    }
}

bool IsBlackListed(const IdArray& blackList, uint16_t productId)
{
    return std::any_of(blackList.begin(), blackList.end(),
                       [productId](int16_t id) { return static_cast<uint16_t>(id) == productId; });
}

// Moves every slot out of the list into scratch, leaving the list's slots zeroed.
void TakeSlots(UsbDevicesInfo& list, UsbDeviceInfo (&scratch)[kDeviceSlots])
{
    std::copy(std::begin(list.devices), std::end(list.devices), std::begin(scratch));
    std::fill(std::begin(list.devices), std::end(list.devices), UsbDeviceInfo{});
}

// Keeps the scratch slots below n that `drop` spares, packed in their order at the front
// of the list; the dropped slots' strings are freed.
template <typename Drop>
void Compact(UsbDevicesInfo& list, Drop drop)
{
    UsbDeviceInfo scratch[kDeviceSlots];
    const int n = list.deviceCount;
    TakeSlots(list, scratch);
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        if (drop(scratch, n, i)) {
            FreeStrings(scratch[i]);
        } else {
            list.devices[kept++] = scratch[i];
        }
    }
    list.deviceCount = static_cast<uint16_t>(kept);
}

void LogDevices(int vendorId, const UsbDevicesInfo& list, const char* stage, bool withSerial)
{
    TW_LOG(3, "-----GetDeviceInfo(vid=0x%04x count %d-----) %s process.\n", vendorId, list.deviceCount, stage);
    for (int i = 0; i < list.deviceCount; ++i) {
        const UsbDeviceInfo& device = list.devices[i];
        TW_LOG(3, "  Manufacture Name = %s\n", Printable(device.manufactureName));
        TW_LOG(3, "  Product ID       = 0x%04x\n", device.productId);
        TW_LOG(3, "  Product Name     = %s\n", Printable(device.productName));
        if (withSerial) {
            TW_LOG(3, "  Serial Number    = %s\n", Printable(device.serialNumber));
        }
        TW_LOG(3, "  Device Version   = %s\n", DeviceVersionText(device.deviceRevision).c_str());
    }
}

} // namespace

std::string DeviceVersionText(uint16_t deviceRevision)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d%d", deviceRevision >> 8, (deviceRevision >> 4) & 0xF,
                  deviceRevision & 0xF);
    return text;
}

UsbDevicesInfo::~UsbDevicesInfo()
{
    for (UsbDeviceInfo& device : devices) {
        FreeStrings(device);
    }
}

void InitDevicesInfo(UsbDevicesInfo* list, const IdArray& white, const IdArray& black)
{
    FillIds(list->whiteList.get(), white);
    FillIds(list->blackList.get(), black);
    for (UsbDeviceInfo& device : list->devices) {
        ClearSlot(device);
    }
    list->deviceCount = 0;
}

bool CollectDeviceInfo(int vendorId, UsbDevicesInfo* list, int allDevices)
{
    TW_TRACE_IN();
    LogDevices(vendorId, *list, "before", true);
    if (allDevices == 0 && RemoveDuplicateDevices(*list)) {
        TW_LOG(3, "Remove(Duplicate) GetDeviceInfo(vid=0x%04x count %d)\n", vendorId, list->deviceCount);
    }
    if (RemoveBlackListDevices(*list)) {
        TW_LOG(3, "Remove(BlackList) GetDeviceInfo(vid=0x%04x count %d)\n", vendorId, list->deviceCount);
    }
    LogDevices(vendorId, *list, "after", false);
    TW_LOG(3, "--------------------------------------------\n");
    TW_TRACE_OUT();
    return list->deviceCount != 0;
}

bool IsDuplicateDevices(UsbDevicesInfo& list)
{
    for (int i = 0; i < list.deviceCount; ++i) {
        for (int j = i + 1; j < list.deviceCount; ++j) {
            if (list.devices[i].productId == list.devices[j].productId) {
                return true;
            }
        }
    }
    return false;
}

bool RemoveDuplicateDevices(UsbDevicesInfo& list)
{
    TW_TRACE_IN();
    bool found = IsDuplicateDevices(list);
    if (found) {
        // One unit per product survives: the lowest revision, the first found on a tie.
        Compact(list, [](const UsbDeviceInfo(&slots)[kDeviceSlots], int n, int i) {
            for (int j = 0; j < n; ++j) {
                if (j != i && slots[j].productId == slots[i].productId &&
                    (slots[j].deviceRevision < slots[i].deviceRevision ||
                     (slots[j].deviceRevision == slots[i].deviceRevision && j < i))) {
                    return true;
                }
            }
            return false;
        });
    }
    TW_TRACE_OUT();
    return found;
}

bool IsBlackListDevices(UsbDevicesInfo& list)
{
    if (list.blackList == nullptr) {
        return false;
    }
    const IdArray& blackList = *list.blackList;
    return std::any_of(list.devices, list.devices + list.deviceCount,
                       [&blackList](const UsbDeviceInfo& device) { return IsBlackListed(blackList, device.productId); });
}

bool RemoveBlackListDevices(UsbDevicesInfo& list)
{
    TW_TRACE_IN();
    bool found = IsBlackListDevices(list);
    if (found) {
        const IdArray& blackList = *list.blackList;
        Compact(list, [&blackList](const UsbDeviceInfo(&slots)[kDeviceSlots], int, int i) {
            return IsBlackListed(blackList, slots[i].productId);
        });
    }
    TW_TRACE_OUT();
    return found;
}

void CopyDevicesInfo(UsbDevicesInfo* dst, const UsbDevicesInfo* src)
{
    // A destination that still holds strings gives them up first, so that reusing a
    // snapshot cannot leak.
    for (UsbDeviceInfo& device : dst->devices) {
        FreeStrings(device);
    }
    dst->whiteList.reset();
    dst->blackList.reset();
    if (src->whiteList != nullptr && !src->whiteList->empty()) {
        dst->whiteList = std::make_unique<IdArray>(*src->whiteList);
    }
    if (src->blackList != nullptr && !src->blackList->empty()) {
        dst->blackList = std::make_unique<IdArray>(*src->blackList);
    }
    dst->deviceCount = src->deviceCount;
    for (int i = 0; i < src->deviceCount; ++i) {
        const UsbDeviceInfo& from = src->devices[i];
        UsbDeviceInfo& to = dst->devices[i];
        to.vendorId = from.vendorId;
        to.productId = from.productId;
        to.deviceRevision = from.deviceRevision;
        CopyString(from.manufactureName, from.manufactureNameLen, to.manufactureName, to.manufactureNameLen);
        CopyString(from.productName, from.productNameLen, to.productName, to.productNameLen);
        CopyString(from.serialNumber, from.serialNumberLen, to.serialNumber, to.serialNumberLen);
    }
}

void ReleaseDevicesInfo(UsbDevicesInfo* list)
{
    list->whiteList.reset();
    list->blackList.reset();
    for (int i = 0; i < list->deviceCount; ++i) {
        ClearSlot(list->devices[i]);
    }
    list->deviceCount = 0;
}
