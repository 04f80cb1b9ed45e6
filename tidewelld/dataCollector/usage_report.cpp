// Usage reports: composed from a device and an application start, sent past the gate,
// saved in the downloader's preferences when they cannot go, and sent again later.
#include "main/main.h"

#include <cmath>
#include <iterator>

#include "commXdata/commXdata.h"
#include "platform/user_folders.h"

namespace {

// The five texts of a report as the store keeps them; "doesSend" is the sixth key.
struct StoreField {
    const char* key;
    std::string _xdate_send_info_t::*report;
    std::string _xdate_save_info_t::*saved;
};
const StoreField kStoreFields[] = {
    {"agentName", &_xdate_send_info_t::agentName, &_xdate_save_info_t::agentName},
    {"deviceVersion", &_xdate_send_info_t::deviceVersion, &_xdate_save_info_t::deviceVersion},
    {"deviceSerial", &_xdate_send_info_t::deviceSerial, &_xdate_save_info_t::deviceSerial},
    {"appConnected", &_xdate_send_info_t::appConnected, &_xdate_save_info_t::appConnected},
    {"dateConnected", &_xdate_send_info_t::dateConnected, &_xdate_save_info_t::dateConnected},
};
const char* const kDoesSendKey = "doesSend";

// A device string holds one byte per character, the low byte of its UTF-16 unit, so it
// reads as Latin-1. Control bytes would corrupt the store's XML and become '?'.
std::string DeviceText(const char* bytes, uint16_t length)
{
    std::string text;
    for (uint16_t i = 0; i < length && bytes != nullptr; ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 || c == 0x7f) {
            text.push_back('?');
        } else if (c < 0x80) {
            text.push_back(static_cast<char>(c));
        } else {
            text.push_back(static_cast<char>(0xC0 | (c >> 6)));
            text.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return text;
}

// The stored "doesSend" as a number: not 0 means the report went out.
bool StoredFlag(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return value != 0;
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return std::trunc(value) != 0.0;
    }
    default:
        return false;
    }
}

void WriteDoesSend(plist_t dict, uint64_t value)
{
    plist_dict_set_item(dict, kDoesSendKey, plist_new_uint(value));
}

// Asks the gate, then sends; -1 when the gate says no or cannot be asked.
int SendPastGate(const _xdate_send_info_t& report, ErrorCallbackFunc onBeaconFailure)
{
    commXdata client;
    if (onBeaconFailure != nullptr) {
        client.errorCallback(onBeaconFailure);
    }
    return client.canSend() ? client.send(report) : -1;
}

} // namespace

int sendData(MacInfo& host, UsbDeviceInfo& device, AppInfo& app)
{
    std::string product = DeviceText(device.productName, device.productNameLen);
    std::string version = DeviceVersionText(device.deviceRevision);
    std::string deviceText = product + "/" + version;
    if (device.serialNumberLen != 0) {
        deviceText += "/" + DeviceText(device.serialNumber, device.serialNumberLen);
    }

    _xdate_send_info_t report;
    report.uid = host.hardwareUUID;
    report.agentName = product + " FirmwareUpdate/" + host.systemVersion + "/" + host.processorName;
    report.deviceVersion = std::to_string(device.deviceRevision);
    report.deviceSerial = deviceText;
    report.appConnected = app.appCode;
    report.dateConnected = app.startTime;

    int result = SendPastGate(report, saveData);
    if (result == -1) {
        saveData(&report);
    }
    return result;
}

int sendData(MacInfo& host, _xdate_save_info_t& saved)
{
    _xdate_send_info_t report;
    report.uid = host.hardwareUUID;
    for (const StoreField& field : kStoreFields) {
        report.*field.report = saved.*field.saved;
    }
    return SendPastGate(report, nullptr);
}

void saveData(const _xdate_send_info_t* report)
{
    std::string path = FetchwickPreferencesPath();
    // The downloader may never have run, and this platform does not make the folder.
    platform::CreateFolderWithParents(path.substr(0, path.rfind('/')));
    platform::MergeIntoPlistFile(path, [report](plist_t dict) {
        for (const StoreField& field : kStoreFields) {
            plist_dict_set_item(dict, field.key, plist_new_string((report->*field.report).c_str()));
        }
        WriteDoesSend(dict, 0);
    });
}

void SendSavedInfo(MacInfo* host)
{
    TW_TRACE_IN();
    AppExecStatus table[kWatchedApps];
    copyAPStatus(table);
    searchProcess(table);
    for (const AppExecStatus& row : table) {
        for (const auto& entry : row.execStatus) {
            if (entry.second != 0) {
                TW_LOG(3, "Save data not send: %s\n", row.displayName.c_str());
                TW_TRACE_OUT();
                return;
            }
        }
    }

    std::string path = FetchwickPreferencesPath();
    int result = -1;
    if (platform::PlistPtr dict = platform::ReadPlistDictionary(path)) {
        _xdate_save_info_t saved;
        size_t texts = 0;
        for (const StoreField& field : kStoreFields) {
            texts += platform::PlistDictString(dict.get(), field.key, saved.*field.saved) ? 1 : 0;
        }
        saved.doesSend = StoredFlag(plist_dict_get_item(dict.get(), kDoesSendKey));
        if (saved.doesSend) {
            result = 0;
        } else if (texts == std::size(kStoreFields)) {
            // A store missing one of the texts holds no report that could be sent.
            if (sendData(*host, saved) == 0) {
                platform::MergeIntoPlistFile(path, [](plist_t stored) { WriteDoesSend(stored, 1); });
            }
            TW_TRACE_OUT();
            return;
        }
    }
    TW_LOG(2, "Save data not send.(result=%d, DoesSend=%d)\n", result, 1);
    TW_TRACE_OUT();
}

void NotifyDeviceConnect(bool isDeviceConnect)
{
    if (isDeviceConnect) {
        return;
    }
    for (AppExecStatus& row : _appStatus) {
        if (!row.lastExecStatus.empty()) {
            TW_LOG(2, "NotifyDeviceConnect(isDeviceConnect=%d) DevListCount=%d\n", 0,
                   static_cast<int>(row.lastExecStatus.size()));
            row.execStatus.clear();
            row.lastExecStatus.clear();
        }
    }
}
