// Usage reports: composed from a device and an application start, sent past the gate,
// saved in the downloader's preferences when they cannot go, and sent again later.
#include "dataCollector/usage_report.h"

#include <algorithm>
#include <iterator>

#include "commXdata/commXdata.h"
#include "dataCollector/preferences.h"
#include "oslib/configuration.h"
#include "oslib/log.h"
#include "oslib/plist_file.h"
#include "oslib/text.h"

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

// A device string as Latin-1 text. Control bytes would corrupt the store's XML and become '?'.
std::string DeviceText(const char* bytes, uint16_t length)
{
    std::string text;
    for (uint16_t i = 0; i < length && bytes != nullptr; ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        oslib::AppendLatin1(text, c < 0x20 || c == 0x7f ? '?' : c);
    }
    return text;
}

// The stored "doesSend" by its integer value, as "FwInterval" is read: not 0 means the
// report went out.
bool StoredFlag(plist_t node)
{
    int64_t value = 0;
    return oslib::PlistIntegerValue(node, value) && value != 0;
}

// Asks the gate, then sends; -1 when the gate says no or cannot be asked.
int SendPastGate(const _xdate_send_info_t& report, ErrorCallbackFunc onBeaconFailure)
{
    commXdata client;
    client.errorCallback(onBeaconFailure);
    return client.canSend() ? client.send(report) : -1;
}

// The first watched application found running; saved reports wait while one runs.
const AppExecStatus* FirstRunningApp(const AppExecStatus (&table)[kWatchedApps])
{
    auto running = std::find_if(std::begin(table), std::end(table), [](const AppExecStatus& row) {
        return std::any_of(row.execStatus.begin(), row.execStatus.end(),
                           [](const auto& entry) { return entry.second != 0; });
    });
    return running != std::end(table) ? running : nullptr;
}

// The store held no report that could be sent, one that went out before, or one tried now.
enum class StoredReport { kNone, kWentOut, kTried };

// Sends the stored report unless it already went out.
StoredReport SendStoredReport(MacInfo& host)
{
    oslib::PlistPtr dict = oslib::ReadPlistDictionary(fetchwick::PreferencesPath());
    if (!dict) {
        return StoredReport::kNone;
    }
    if (StoredFlag(plist_dict_get_item(dict.get(), kDoesSendKey))) {
        return StoredReport::kWentOut;
    }
    _xdate_save_info_t saved;
    for (const StoreField& field : kStoreFields) {
        // A text missing, or stored as another type, leaves no report that could be sent.
        if (!oslib::PlistDictString(dict.get(), field.key, saved.*field.saved)) {
            return StoredReport::kNone;
        }
    }
    if (sendData(host, saved) == 0) {
        fetchwick::MergeIntoPreferences({{kDoesSendKey, uint64_t{1}}});
    }
    return StoredReport::kTried;
}

} // namespace

int sendData(MacInfo& host, UsbDeviceInfo& device, AppInfo& app)
{
    if (oslib::Configured().doNotTrack) {
        return -1;
    }
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
    std::vector<fetchwick::PreferenceEntry> entries;
    for (const StoreField& field : kStoreFields) {
        entries.push_back({field.key, report->*field.report});
    }
    entries.push_back({kDoesSendKey, uint64_t{0}});
    fetchwick::MergeIntoPreferences(entries);
}

void SendSavedInfo(MacInfo* host)
{
    TW_TRACE_IN();
    if (oslib::Configured().doNotTrack) {
        TW_TRACE_OUT();
        return;
    }
    AppExecStatus table[kWatchedApps];
    copyAPStatus(table);
    searchProcess(table);
    if (const AppExecStatus* running = FirstRunningApp(table)) {
        TW_LOG(3, "Save data not send: %s\n", running->displayName.c_str());
    } else if (StoredReport stored = SendStoredReport(*host); stored != StoredReport::kTried) {
        TW_LOG(2, "Save data not send.(result=%d, DoesSend=%d)\n", stored == StoredReport::kWentOut ? 0 : -1, 1);
    }
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
