// tidewell devices: the bus scanned now, as the agent scans it, and the agent's update
// decision for each unit, made without writing the hand-off file or the preferences.
#include <vector>

#include "dataCollector/device_list.h"
#include "main/device_change.h"
#include "main/main.h"
#include "main/update_decision.h"
#include "platform/backends.h"
#include "report.h"

namespace {

// The comparison shown for a unit: the first that finds an update, else the first made.
struct Verdict {
    bool compared = false;
    bool newer = false;
    std::string latest;
    std::string packageUrl;
};

picojson::object Unit(const UsbDeviceInfo& device, const Verdict& comparison)
{
    picojson::value latest;
    picojson::value package;
    if (comparison.compared) {
        latest = picojson::value(comparison.latest);
        package = picojson::value(comparison.packageUrl);
    }
    return {{"product", DeviceString(device.productName)},
            {"product_id", picojson::value(static_cast<double>(device.productId))},
            {"serial", DeviceString(device.serialNumber)},
            {"installed", picojson::value(DeviceVersionText(device.deviceRevision))},
            {"latest", latest},
            {"update_due", picojson::value(comparison.newer)},
            {"package", package}};
}

} // namespace

Report DevicesReport()
{
    platform::InstallBackends(platform::SystemBackends());
    InitDeviceLists();
    // Every unit, duplicates of a product kept: each has its own serial number and version.
    UsbDevicesInfo units;
    {
        oslib::MutexLock guard(_lock);
        int32_t previous = 0;
        int32_t current = 0;
        RescanDevices(previous, current);
        CopyDevicesInfo(&units, &_usbQnlAllDevInfo);
    }
    std::vector<Verdict> verdicts(units.deviceCount);
    CompareFirmware(units, [&verdicts](const FirmwareComparison& c) {
        Verdict& unit = verdicts[static_cast<size_t>(c.slot)];
        if (!unit.compared || (c.newer && !unit.newer)) {
            unit = {true, c.newer, c.latest, c.packageUrl};
        }
        return true;
    });
    picojson::array devices;
    for (size_t slot = 0; slot < verdicts.size(); ++slot) {
        devices.emplace_back(Unit(units.devices[slot], verdicts[slot]));
    }
    Report report;
    report.document["devices"] = picojson::value(devices);
    return report;
}

void PrintDevices(const picojson::object& document)
{
    const picojson::array& devices = document.at("devices").get<picojson::array>();
    if (devices.empty()) {
        PrintLine("no Quenlar device connected");
    }
    for (const picojson::value& device : devices) {
        std::string line = Shown(device.get("product")) + ", serial " + Shown(device.get("serial")) + ": firmware " +
                           Shown(device.get("installed"));
        if (device.get("latest").is<picojson::null>()) {
            line += ", not in the firmware version list";
        } else {
            line += ", latest " + Shown(device.get("latest")) +
                    (device.get("update_due").get<bool>() ? ": update due" : ": up to date");
        }
        PrintLine(line);
    }
}
