#include "updates.h"

#include <glib.h>

#include "oslib/https_transfer.h"
#include "oslib/system_log.h"
#include "oslib/whole_file.h"

namespace fetchwick {

namespace {

// The agent writes at most a row per row of its 4 MiB list.
constexpr size_t kMaxHandOffBytes = 8 * 1024 * 1024;

} // namespace

bool Update::operator==(const Update& other) const
{
    return mode == other.mode && row.product == other.row.product && row.installed == other.row.installed &&
           row.latest == other.row.latest && row.address == other.row.address;
}

bool ParseMode(const std::string& argument, Mode& mode)
{
    if (argument != "-f " && argument != "-m ") {
        return false;
    }
    mode = argument == "-f " ? Mode::kFirmware : Mode::kUpdater;
    return true;
}

bool ReadHandOffFile(const std::string& path, Mode mode, std::vector<Update>& updates)
{
    std::string text;
    if (!oslib::ReadRegularFile(path, text, kMaxHandOffBytes)) {
        oslib::SystemLog("hand-off file unreadable, or no regular file of at most 8 MiB: %s", path.c_str());
        return false;
    }
    updates.clear();
    size_t number = 0;
    size_t left = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        Update update{mode, {}};
        if (line.empty()) {
            continue;
        }
        if (!g_utf8_validate(line.data(), static_cast<gssize>(line.size()), nullptr) ||
            !ParseHandOffRow(line, update.row)) {
            oslib::SystemLog("hand-off row %zu skipped: not well-formed", number);
        } else if (!oslib::IsHttpsUrl(update.row.address) || !IsPackageAddress(update.row.address)) {
            oslib::SystemLog("hand-off row %zu skipped: its address is no https URL: %s", number,
                             update.row.address.c_str());
        } else if (updates.size() == kMaxUpdates) {
            ++left;
        } else {
            updates.push_back(std::move(update));
        }
    }
    if (left > 0) {
        oslib::SystemLog("%zu more hand-off rows left out: %zu are offered at most", left, kMaxUpdates);
    }
    return true;
}

std::string Describe(const Update& update)
{
    const HandOffRow& row = update.row;
    if (update.mode == Mode::kUpdater) {
        return row.product + " " + row.latest + " is available";
    }
    return row.product + ": firmware " + row.latest + " is available (installed " + row.installed + ")";
}

} // namespace fetchwick
