// Read-only access to property-list files (XML or binary) through libplist.
#pragma once

#include <memory>
#include <optional>
#include <plist/plist.h>
#include <string>

namespace uninstaller {

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
// Owns one plist node and its children.
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// The file's top-level dictionary; null when the file is missing, unreadable, not a
// property list or not a dictionary.
PlistPtr ReadPlistDictionary(const std::string& path);

// The string value of `key`; nullopt when it is missing or not a string.
std::optional<std::string> PlistDictString(plist_t dict, const char* key);

} // namespace uninstaller
