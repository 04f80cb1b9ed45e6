// The downloader's preferences: its check interval, and the date of the agent's last
// device firmware check. The file belongs to the downloader; every other key survives.
#include "dataCollector/dataCollector.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "main/fetchwick_contract.h"
#include "platform/user_folders.h"

namespace {

// The integer reading of a number, a boolean or a string with leading digits (as a
// string's integer value reads "7 days" as 7); false for values that have none.
bool IntegerValue(plist_t node, int64_t& value)
{
    switch (plist_get_node_type(node)) {
    case PLIST_UINT: {
        uint64_t raw = 0;
        plist_get_uint_val(node, &raw);
        value = static_cast<int64_t>(raw);
        return true;
    }
    case PLIST_REAL: {
        double real = 0;
        plist_get_real_val(node, &real);
        value = static_cast<int64_t>(std::isnan(real) ? 0.0 : std::clamp(real, -9.2e18, 9.2e18));
        return true;
    }
    case PLIST_BOOLEAN: {
        uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        value = flag != 0 ? 1 : 0;
        return true;
    }
    case PLIST_STRING: {
        std::string text;
        platform::PlistStringValue(node, text);
        value = std::strtoll(text.c_str(), nullptr, 10);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

std::string FetchwickPreferencesPath() { return platform::LibraryFolder() + fetchwick::kPreferencesRelativePath; }

void MergeIntoFetchwickPreferences(const std::function<void(plist_t preferences)>& merge)
{
    // The downloader creates its preferences folder; until it has run, the agent does.
    std::string path = FetchwickPreferencesPath();
    platform::CreateFolderWithParents(path.substr(0, path.rfind('/')));
    // Saved usage reports name devices by their serial numbers.
    platform::MergeIntoPlistFile(path, 0600, merge);
}

int readIntervalValue(uint32_t& interval)
{
    interval = 0;
    platform::PlistPtr preferences = platform::ReadPlistDictionary(FetchwickPreferencesPath());
    if (!preferences) {
        return -1;
    }
    plist_t node = plist_dict_get_item(preferences.get(), fetchwick::kIntervalKey);
    int64_t value = 0;
    if (node == nullptr || !IntegerValue(node, value)) {
        return -1;
    }
    interval = static_cast<uint32_t>(value);
    return 0;
}

int readFwVersionLastCheckDate(platform::PlistPtr& value)
{
    platform::PlistPtr preferences = platform::ReadPlistDictionary(FetchwickPreferencesPath());
    if (!preferences) {
        return -1;
    }
    plist_t node = plist_dict_get_item(preferences.get(), fetchwick::kLastCheckDateKey);
    value.reset(node != nullptr ? plist_copy(node) : nullptr);
    return node != nullptr ? 0 : -1;
}

int writeFwVersionLastCheckDate(const std::string& value)
{
    MergeIntoFetchwickPreferences([&](plist_t preferences) {
        plist_dict_set_item(preferences, fetchwick::kLastCheckDateKey, plist_new_string(value.c_str()));
    });
    return 0;
}
