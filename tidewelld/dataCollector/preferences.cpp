// The downloader's preferences: its check interval, and the date of the agent's last
// device firmware check. The file belongs to the downloader; every other key survives.
#include "dataCollector/dataCollector.h"

#include "oslib/fetchwick_contract.h"
#include "oslib/user_folders.h"

std::string FetchwickPreferencesPath() { return oslib::LibraryFolder() + fetchwick::kPreferencesRelativePath; }

void MergeIntoFetchwickPreferences(const std::function<void(plist_t preferences)>& merge)
{
    // The downloader creates its preferences folder; until it has run, the agent does.
    std::string path = FetchwickPreferencesPath();
    oslib::CreateFolderWithParents(path.substr(0, path.rfind('/')));
    // Saved usage reports name devices by their serial numbers.
    oslib::MergeIntoPlistFile(path, 0600, merge);
}

int readIntervalValue(uint32_t& interval)
{
    interval = 0;
    oslib::PlistPtr preferences = oslib::ReadPlistDictionary(FetchwickPreferencesPath());
    if (!preferences) {
        return -1;
    }
    plist_t node = plist_dict_get_item(preferences.get(), fetchwick::kIntervalKey);
    int64_t value = 0;
    if (!oslib::PlistIntegerValue(node, value)) {
        return -1;
    }
    interval = static_cast<uint32_t>(value);
    return 0;
}

int readFwVersionLastCheckDate(oslib::PlistPtr& value)
{
    oslib::PlistPtr preferences = oslib::ReadPlistDictionary(FetchwickPreferencesPath());
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
