// The downloader's preferences as the agent reads and writes them: its check interval, the
// date of the last device firmware check, and the keys of a saved usage report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The preferences folder + "com.quenlar.Fetchwick.plist" (fetchwick::PreferencesPath).
std::string FetchwickPreferencesPath();

// One key the agent stores, with a text or an unsigned number.
struct PreferenceEntry {
    const char* key;
    std::variant<std::string, uint64_t> value;
};
// Stores the entries in the preferences file as it is on disk now, keeping every other key.
void MergeIntoFetchwickPreferences(const std::vector<PreferenceEntry>& entries);

int readIntervalValue(uint32_t& interval);
// The stored "lastCheckDate" (its text, or nullopt when it is no string). 0 when it is
// present; -1 when the file is missing (value untouched) or the key is (value emptied).
int readFwVersionLastCheckDate(std::optional<std::string>& value);
int writeFwVersionLastCheckDate(const std::string& value);
