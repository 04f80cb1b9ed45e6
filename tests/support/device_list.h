// A device list built by hand, its strings malloc'd as the scan leaves them (the fuzz targets use it too).
#pragma once

#include <cstdlib>
#include <cstring>

#include "main/main.h"

class DeviceList {
public:
    ~DeviceList() { Clear(); }

    DeviceList& Add(uint16_t productId, const char* product, const char* serial, uint16_t revision = 0x0123)
    {
        UsbDeviceInfo& slot = list.devices[list.deviceCount++];
        slot = UsbDeviceInfo{};
        slot.vendorId = kVendorId;
        slot.productId = productId;
        slot.deviceRevision = revision;
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
