// The downloader's preferences file, which the agent shares: every writer reads it whole,
// merges its own keys and writes it back atomically, so that all other keys stay.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "oslib/fetchwick_contract.h"  // PreferencesPath() and the keys

namespace fetchwick {

// One key to store, with a text or an unsigned number.
struct PreferenceEntry {
    const char* key;
    std::variant<std::string, uint64_t> value;
};

// Stores the entries in the preferences file as it is on disk now, keeping every other
// key; private to the user (0600), as saved usage reports name devices by their serial
// numbers. False when nothing was written.
bool MergeIntoPreferences(const std::vector<fetchwick::PreferenceEntry>& entries);

// The integer reading of "FwInterval", in whole days; false, with 0, when the file or the
// key is missing.
bool ReadInterval(uint32_t& days);

} // namespace fetchwick
