#include "oslib/fetchwick_preferences.h"

#include "oslib/plist_file.h"

namespace fetchwick {

namespace {

plist_t NewNode(const std::variant<std::string, uint64_t>& value)
{
    if (const std::string* text = std::get_if<std::string>(&value)) {
        return plist_new_string(text->c_str());
    }
    return plist_new_uint(std::get<uint64_t>(value));
}

} // namespace

bool MergeIntoPreferences(const std::vector<fetchwick::PreferenceEntry>& entries)
{
    return oslib::MergeIntoPlistFile(PreferencesPath(), 0600, [&entries](plist_t preferences) {
        for (const PreferenceEntry& entry : entries) {
            plist_dict_set_item(preferences, entry.key, NewNode(entry.value));
        }
    });
}

bool ReadInterval(uint32_t& days)
{
    days = 0;
    oslib::PlistPtr preferences = oslib::ReadPlistDictionary(PreferencesPath());
    int64_t value = 0;
    if (!preferences || !oslib::PlistIntegerValue(plist_dict_get_item(preferences.get(), kIntervalKey), value)) {
        return false;
    }
    days = static_cast<uint32_t>(value);
    return true;
}

} // namespace fetchwick
