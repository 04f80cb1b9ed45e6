// The downloader's preferences: its check interval, and the date of the agent's last
// device firmware check. The file belongs to the downloader; every other key survives.
#include "dataCollector/preferences.h"

#include "oslib/fetchwick_contract.h"
#include "oslib/plist_file.h"

int readIntervalValue(uint32_t& interval)
{
    return fetchwick::ReadInterval(interval) ? 0 : -1;
}

int readFwVersionLastCheckDate(std::optional<std::string>& value)
{
    oslib::PlistPtr preferences = oslib::ReadPlistDictionary(fetchwick::PreferencesPath());
    if (!preferences) {
        return -1;
    }
    plist_t node = plist_dict_get_item(preferences.get(), fetchwick::kLastCheckDateKey);
    std::string text;
    value = oslib::PlistStringValue(node, text) ? std::optional<std::string>(std::move(text)) : std::nullopt;
    return node != nullptr ? 0 : -1;
}

int writeFwVersionLastCheckDate(const std::string& value)
{
    fetchwick::MergeIntoPreferences({{fetchwick::kLastCheckDateKey, value}});
    return 0;
}
