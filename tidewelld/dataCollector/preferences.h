// The downloader's preferences as the agent reads and writes them: its check interval, the
// date of the last device firmware check, and the keys of a saved usage report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The file's place (fetchwick::PreferencesPath) and its merging writer are the shared
// layer's, which the downloader uses too.
#include "oslib/fetchwick_preferences.h"

int readIntervalValue(uint32_t& interval);
// The stored "lastCheckDate" (its text, or nullopt when it is no string). 0 when it is
// present; -1 when the file is missing (value untouched) or the key is (value emptied).
int readFwVersionLastCheckDate(std::optional<std::string>& value);
int writeFwVersionLastCheckDate(const std::string& value);
