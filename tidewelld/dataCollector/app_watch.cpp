// The watch over running DJ applications: which watched application runs while which
// vendor device is connected, and one usage report for each new pairing. Main thread only.
#include "dataCollector/app_watch.h"

#include <algorithm>

#include "commXdata/commXdata.h"
#include "dataCollector/app_table.h"
#include "dataCollector/usage_report.h"
#include "oslib/log.h"

namespace {

// Product ID in bits 0-15, serial hash in bits 16-31.
uint64_t DeviceKey(const UsbDeviceInfo& device)
{
    uint64_t hash = device.serialNumberLen != 0 ? CalcSerialHash(device.serialNumber) : 0;
    return device.productId | (hash << 16);
}

// One key per listed device, in the list's order.
std::vector<uint64_t> DeviceKeys(const UsbDevicesInfo& list)
{
    std::vector<uint64_t> keys;
    for (int i = 0; i < list.deviceCount && i < kDeviceSlots; ++i) {
        keys.push_back(DeviceKey(list.devices[i]));
    }
    return keys;
}

} // namespace

uint16_t CalcSerialHash(const char* s)
{
    uint32_t h = 0;
    for (const char* c = s; c != nullptr && *c != '\0'; ++c) {
        h = h * 8 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(*c)));
    }
    return static_cast<uint16_t>(h);
}

void UpdateAppStatus(uint8_t flag, const UsbDevicesInfo& list)
{
    TW_TRACE_IN();
    const std::vector<uint64_t> keys = DeviceKeys(list);
    auto connected = [&keys](uint64_t key) { return std::find(keys.begin(), keys.end(), key) != keys.end(); };

    for (AppExecStatus& row : _appStatus) {
        for (auto entry = row.execStatus.begin(); entry != row.execStatus.end();) {
            if (connected(entry->first)) {
                ++entry;
            } else {
                row.lastExecStatus.erase(entry->first);
                entry = row.execStatus.erase(entry);
            }
        }
    }
    for (uint64_t key : keys) {
        for (AppExecStatus& row : _appStatus) {
            if (row.execStatus.emplace(key, 0).second) {
                row.lastExecStatus[key] = 0;
            }
        }
    }

    if (flag == 1) {
        TW_LOG(3, "-----AppDeviceInfo\n");
        for (const auto& entry : _appStatus[0].execStatus) {
            TW_LOG(3, "  ProductId = 0x%04x  SerialHash = 0x%04x\n", static_cast<unsigned>(entry.first & 0xFFFF),
                   static_cast<unsigned>((entry.first >> 16) & 0xFFFF));
        }
        TW_LOG(3, "--------------------------------------------\n");
    }
    TW_TRACE_OUT();
}

void CollectAppInfo(MacInfo* mac, UsbDevicesInfo* list)
{
    // Every transition found by this call carries the same time.
    std::string now = commXdata::getLocalDateTimeStr();
    AppInfo info;
    TW_TRACE_IN();
    const std::vector<uint64_t> keys = DeviceKeys(*list);
    searchProcess(_appStatus);
    for (AppExecStatus& row : _appStatus) {
        for (const auto& [key, running] : row.execStatus) {
            int8_t& before = row.lastExecStatus[key];
            if (running == before) {
                continue;
            }
            // Units sharing a key share one report, for the first of them.
            auto found = std::find(keys.begin(), keys.end(), key);
            if (found == keys.end()) {
                continue;
            }
            UsbDeviceInfo& device = list->devices[found - keys.begin()];
            info.appCode = row.appCode;
            if (running == 1) {
                info.startTime = now;
                TW_LOG(3, "%s start time = %s\n", info.appCode.c_str(), info.startTime.c_str());
                sendData(*mac, device, info);
            } else {
                info.endTime = now;
                TW_LOG(3, "%s end time = %s\n", info.appCode.c_str(), info.endTime.c_str());
            }
            // Acted on whatever sendData returned: a start is never reported twice.
            before = running;
        }
    }
    TW_TRACE_OUT();
}
