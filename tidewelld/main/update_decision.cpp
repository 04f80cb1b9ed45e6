// Update decision: which connected devices, and whether the updater itself, are behind
// the firmware version list. The result goes to the hand-off file for the downloader.
#include "main/update_decision.h"

#include <algorithm>

#include "dataCollector/preferences.h"
#include "main/check_interval.h"
#include "main/list_patterns.h"
#include "main/main.h"
#include "oslib/fetchwick_contract.h"
#include "oslib/hand_off.h"
#include "oslib/icu_date.h"
#include "oslib/log.h"
#include "oslib/plist_file.h"
#include "oslib/replacement_file.h"
#include "platform/icu_text.h"
#include "platform/list_regex.h"

namespace {

// "123" is shown as "1.23". An empty digit field has no such form; its row is skipped.
std::string DisplayVersion(std::string_view digits)
{
    return std::string(digits.substr(0, 1)) + "." + std::string(digits.substr(1));
}

// Versions are compared as plain text on purpose: "1.3" is newer than "1.23".
bool IsNewer(const std::string& latest, const std::string& current)
{
    return platform::TextCompare(latest, current) > 0;
}

// A list of 4 MiB may hold a hundred thousand rows for one device, or as many refused
// ones, and a log line each would cost more than the pass: the first comparisons are
// logged, the rest of the pass is summed up at its end.
constexpr int kLoggedComparisons = 64;

void LogPassSummary(int compared, int refused)
{
    if (compared > kLoggedComparisons) {
        TW_LOG(3, "%d more version comparisons not logged\n", compared - kLoggedComparisons);
    }
    if (refused > 0) {
        TW_LOG(4, "%d firmware list row(s) skipped: package URL holds a control character, blank, \", \\, <, > or `\n",
               refused);
    }
}

// The firmware version list, whose rows are scanned in place: a list of 4 MiB costs its
// text, not a string per row. Empty when unreadable: no row.
std::string FirmwareListText()
{
    std::string text;
    platform::ReadUtf8File(fwVerInfoTxtPath, text);
    return text;
}

// The bundle's CFBundleVersion; a four-part value such as "1.0.1.5" is shortened to the
// list's two-part form "1.01" (first three characters and the fifth).
std::string InstalledUpdaterVersion()
{
    oslib::PlistPtr info = oslib::ReadPlistDictionary(fetchwick::InfoPlistPath());
    std::string version;
    if (!oslib::PlistDictString(info.get(), fetchwick::kVersionKey, version)) {
        TW_LOG(5, "not get fileVersion.\n");
        return "0.00";
    }
    if (platform::TextLength(version) >= 7) {
        return platform::TextSubstring(version, 0, 3) + platform::TextSubstring(version, 4, 1);
    }
    return version;
}

// The hand-off file, built beside its place and put there whole by Commit: a downloader
// started by an earlier rescan may be reading the old one. Untouched while no row is
// written.
class HandOffFile {
public:
    // Appends text and a line end; false when the file cannot be created or written.
    bool OutputLine(const std::string& text)
    {
        if (!file_) {
            file_ = oslib::ReplacementFile::Create(fwVerUpTxtPath, 0644);
        }
        std::string line = text + "\n";
        return file_ && file_->Write(line.data(), line.size());
    }

    // True when the rows written are on disk and in place.
    bool Commit() { return file_ && file_->Commit() == oslib::ReplacementFile::Outcome::kReplaced; }

private:
    std::unique_ptr<oslib::ReplacementFile> file_;
};

} // namespace

bool CompareFirmware(const UsbDevicesInfo& devices, const std::function<bool(const FirmwareComparison&)>& visit)
{
    platform::CaseInsensitiveRegex row(kDeviceRowPattern);
    int slots = std::min<int>(devices.deviceCount, kDeviceSlots);
    int refused = 0;
    int compared = 0;
    bool whole = true;
    const std::string text = FirmwareListText();
    std::string_view line;
    std::vector<std::string_view> groups;
    for (platform::Lines lines(text, platform::LineBreaks::CrLfThenLfThenCr); lines.Next(line) && whole;) {
        if (!row.Search(line, groups) || groups[2].empty()) {
            continue;
        }
        if (!fetchwick::IsPackageAddress(groups[4])) {
            ++refused;
            continue;
        }
        const std::string_view name = groups[1];
        for (int slot = 0; slot < slots && whole; ++slot) {
            const UsbDeviceInfo& device = devices.devices[slot];
            if (device.productName == nullptr || name != device.productName) {
                continue;
            }
            std::string current = DeviceVersionText(device.deviceRevision);
            std::string latest = DisplayVersion(groups[2]);
            if (++compared <= kLoggedComparisons) {
                TW_LOG(3, "%s curVer:%s latestVer:%s\n", device.productName, current.c_str(), latest.c_str());
            }
            const std::string product(name);
            const std::string address(groups[4]);
            whole = visit(FirmwareComparison{slot, product, current, latest, address, IsNewer(latest, current)});
        }
    }
    LogPassSummary(compared, refused);
    return whole;
}

bool UpdateFirmware(UsbDevicesInfo* devices)
{
    TW_TRACE_IN();
    if (devices->deviceCount == 0) {
        TW_TRACE_OUT();
        return false;
    }
    HandOffFile handOff;
    bool wrote = false;
    bool written = CompareFirmware(*devices, [&](const FirmwareComparison& c) {
        if (!c.newer) {
            return true;
        }
        wrote = handOff.OutputLine(fetchwick::FormatHandOffRow({c.name, c.current, c.latest, c.packageUrl}));
        return wrote;
    });
    if (!written || (wrote && !handOff.Commit())) {
        TW_LOG(5, "Firmware update list write erro\n");
        TW_TRACE_OUT();
        return false;
    }
    bool due = wrote && HasPastIntervalValue();
    TW_TRACE_OUT();
    return due;
}

void StoreFirmwareCheckDate() { writeFwVersionLastCheckDate(oslib::FormatDate("YYYY-MM-dd hh:mm:ss", _clock())); }

bool UpdateFwVerTidewell(UsbDevicesInfo* devices)
{
    TW_TRACE_IN();
    if (devices->deviceCount != 0) {
        TW_TRACE_OUT();
        return false;
    }
    platform::CaseInsensitiveRegex selfRow(kSelfRowPattern);
    const std::string text = FirmwareListText();
    std::string_view line;
    std::vector<std::string_view> groups;
    bool found = false;
    int refused = 0;
    for (platform::Lines lines(text, platform::LineBreaks::CrLfThenLfThenCr); lines.Next(line);) {
        if (!selfRow.Search(line, groups) || groups[1].empty()) {
            continue;
        }
        if (fetchwick::IsPackageAddress(groups[3])) {
            found = true;
            break;
        }
        ++refused;
    }
    LogPassSummary(0, refused);
    if (!found) {
        TW_TRACE_OUT();
        return false;
    }
    std::string latest = DisplayVersion(groups[1]);
    std::string installed = InstalledUpdaterVersion();
    bool result = false;
    if (IsNewer(latest, installed)) {
        HandOffFile handOff;
        result = handOff.OutputLine(fetchwick::FormatHandOffRow({"Tidewell", installed, latest, std::string(groups[3])})) &&
                 handOff.Commit();
        if (!result) {
            TW_LOG(5, "Firmware update list(Tidewell) write erro\n");
        }
    }
    TW_TRACE_OUT();
    return result;
}
