// The downloader's preferences: its check interval, and the date of the agent's last
// device firmware check. The file belongs to the downloader; every other key survives.
#include "dataCollector/preferences.h"

#include "oslib/fetchwick_contract.h"
#include "oslib/plist_file.h"

namespace {

plist_t NewNode(const std::variant<std::string, uint64_t>& value)
{
    if (const std::string* text = std::get_if<std::string>(&value)) {
        return plist_new_string(text->c_str());
    }
    return plist_new_uint(std::get<uint64_t>(value));
}

} // namespace

std::string FetchwickPreferencesPath() { return fetchwick::PreferencesPath(); }

void MergeIntoFetchwickPreferences(const std::vector<PreferenceEntry>& entries)
{
    // Saved usage reports name devices by their serial numbers.
    oslib::MergeIntoPlistFile(FetchwickPreferencesPath(), 0600, [&entries](plist_t preferences) {
        for (const PreferenceEntry& entry : entries) {
            plist_dict_set_item(preferences, entry.key, NewNode(entry.value));
        }
    });
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

int readFwVersionLastCheckDate(std::optional<std::string>& value)
{
    oslib::PlistPtr preferences = oslib::ReadPlistDictionary(FetchwickPreferencesPath());
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
    MergeIntoFetchwickPreferences({{fetchwick::kLastCheckDateKey, value}});
    return 0;
}
