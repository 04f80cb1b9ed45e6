// A device list built by hand. Its slot strings are malloc'd copies, as the scan leaves
// them, released with the list, so leaks and double frees show up under AddressSanitizer.
#pragma once

#include <cstdlib>
#include <cstring>

#include "main/main.h"

class DeviceList {
public:
    DeviceList() = default;
    ~DeviceList() { Clear(); }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    // A null or empty text leaves its string absent (null, length 0).
    DeviceList& Add(uint16_t productId, const char* product, const char* serial, uint16_t revision = 0x0123,
                    const char* manufacturer = nullptr)
    {
        UsbDeviceInfo& slot = list.devices[list.deviceCount++];
        slot = UsbDeviceInfo{};
        slot.vendorId = kVendorId;
        slot.productId = productId;
        slot.deviceRevision = revision;
        Own(manufacturer, slot.manufactureName, slot.manufactureNameLen);
        Own(product, slot.productName, slot.productNameLen);
        Own(serial, slot.serialNumber, slot.serialNumberLen);
        return *this;
    }
    void Clear() { ReleaseDevicesInfo(&list); }

    UsbDevicesInfo list;

private:
    static void Own(const char* text, char*& field, uint16_t& length)
    {
        length = text == nullptr ? 0 : static_cast<uint16_t>(std::strlen(text));
        field = length == 0 ? nullptr : strdup(text);
    }
};
