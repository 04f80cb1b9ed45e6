// The reaction to device changes and the launch of the downloader.
#include "main/device_change.h"

#include <cerrno>
#include <cstring>

#include "dataCollector/usage_report.h"
#include "dataCollector/usb_scan.h"
#include "main/list_files.h"
#include "main/main.h"
#include "main/update_decision.h"
#include "oslib/fetchwick_contract.h"
#include "oslib/log.h"
#include "oslib/system_log.h"
#include "platform/backends.h"

bool RescanDevices(int32_t& previousCount, int32_t& currentCount)
{
    if (ValidateFileVersion(tarProductIdPath, kListVersion)) {
        UpdateTarProductIdList();
    }
    previousCount = _usbQnlDevInfo.deviceCount;
    InitDevicesInfo(&_usbQnlDevInfo, whiteList, blackList);
    InitDevicesInfo(&_usbQnlAllDevInfo, whiteList, blackList);
    UnansweredDevices unanswered;
    CheckUSBAudio(kVendorId, &_usbQnlDevInfo, unanswered);
    bool found = CollectDeviceInfo(kVendorId, &_usbQnlDevInfo, 0);
    CheckUSBAudio(kVendorId, &_usbQnlAllDevInfo, unanswered);
    CollectDeviceInfo(kVendorId, &_usbQnlAllDevInfo, 1);
    currentCount = _usbQnlDevInfo.deviceCount;
    return found;
}

int32_t onDeviceChange(uint32_t, uint32_t, const void*, void*)
{
    oslib::SystemLog("onDeviceChange");
    int32_t previous = 0;
    int32_t current = 0;
    bool found = false;
    {
        oslib::MutexLock guard(_lock);
        found = RescanDevices(previous, current);
        oslib::SystemLog("onDeviceChange Device Count prev=%d cur=%d", previous, current);
    }
    _connect = found ? 1 : 0;
    deviceFound(previous, current);
    return 0;
}

void deviceFound(int32_t previousCount, int32_t currentCount)
{
    oslib::SystemLog("deviceFound");
    if (_connect == 0) {
        return;
    }
    NotifyDeviceConnect(true);
    bool update = false;
    {
        oslib::MutexLock guard(_lock);
        update = UpdateFirmware(&_usbQnlDevInfo);
    }
    // The check is spent only on a downloader that was offered the rows: a decision
    // without a launch (the count did not grow) must not hold the update back for the
    // whole interval.
    if (update && previousCount < currentCount && LaunchFetchwick(fetchwick::kModeFirmware)) {
        StoreFirmwareCheckDate();
    }
}

bool LaunchFetchwick(const std::string& mode)
{
    TW_TRACE_IN();
    std::string path = fetchwick::ExecutablePath();
    bool started = platform::Installed().launcher->SpawnDetached(path, {mode, fwVerUpTxtPath});
    if (!started) {
        TW_LOG(5, "Fetchwick launch error(%s): %s\n", std::strerror(errno), path.c_str());
    }
    TW_TRACE_OUT();
    return started;
}
