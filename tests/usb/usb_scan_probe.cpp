// Scans the USB bus the way the agent does and prints what it found as one JSON object:
//   {"counted": n, "scanned": [slot, ...], "perProduct": [slot, ...], "allUnits": [slot, ...]}
// "scanned" is one raw scan (CheckUSBAudio alone), the two lists come from the agent's
// rescan. A slot is {"productId", "revision", "manufacturer", "product", "serial"}; each
// string is an array of its bytes, or null. Logs as the agent does, under $HOME: run it
// with a temporary HOME.
#include <cstdio>
#include <picojson.h>

#include "main/main.h"

namespace {

picojson::value Bytes(const char* text, uint16_t length)
{
    if (length == 0) {
        return picojson::value();
    }
    picojson::array bytes;
    for (uint16_t k = 0; k < length; ++k) {
        bytes.emplace_back(static_cast<double>(static_cast<unsigned char>(text[k])));
    }
    return picojson::value(bytes);
}

picojson::value Slots(const UsbDevicesInfo& list)
{
    picojson::array slots;
    for (int i = 0; i < list.deviceCount; ++i) {
        const UsbDeviceInfo& device = list.devices[i];
        picojson::object slot;
        slot["productId"] = picojson::value(static_cast<double>(device.productId));
        slot["revision"] = picojson::value(static_cast<double>(device.deviceRevision));
        slot["manufacturer"] = Bytes(device.manufactureName, device.manufactureNameLen);
        slot["product"] = Bytes(device.productName, device.productNameLen);
        slot["serial"] = Bytes(device.serialNumber, device.serialNumberLen);
        slots.emplace_back(slot);
    }
    return picojson::value(slots);
}

} // namespace

int main()
{
    BuildListPaths();
    InitDeviceLists();

    picojson::object result;
    UsbDevicesInfo scanned;
    InitDevicesInfo(&scanned, whiteList, blackList);
    result["counted"] = picojson::value(static_cast<double>(CheckUSBAudio(kVendorId, &scanned)));
    result["scanned"] = Slots(scanned);
    ReleaseDevicesInfo(&scanned);

    int32_t previous = 0;
    int32_t current = 0;
    RescanDevices(previous, current);
    result["perProduct"] = Slots(_usbQnlDevInfo);
    result["allUnits"] = Slots(_usbQnlAllDevInfo);
    ReleaseDevicesInfo(&_usbQnlDevInfo);
    ReleaseDevicesInfo(&_usbQnlAllDevInfo);

    std::puts(picojson::value(result).serialize().c_str());
    return 0;
}
