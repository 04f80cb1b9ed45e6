// Property-list files shared with other programs: read whole (XML or binary), merged and
// written back atomically, so that keys this program does not own survive.
#pragma once

#include <functional>
#include <memory>
#include <plist/plist.h>
#include <string>
#include <sys/types.h>

namespace oslib {

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
// Owns one plist node (and its children).
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// The file's top-level dictionary; null when the file is missing, unreadable, over 1 MiB, not a
// property list or not a dictionary.
PlistPtr ReadPlistDictionary(const std::string& path);

// Reads the file's dictionary as it is on disk now (an empty one when there is none),
// lets `merge` change it, then writes the whole dictionary as XML to a temporary file in
// the same folder and renames it into place with `mode`. Returns false when nothing was
// written. Merges of one process run one at a time.
bool MergeIntoPlistFile(const std::string& path, mode_t mode, const std::function<void(plist_t dict)>& merge);

// The text of a string node up to its first NUL byte (libplist's own getter aborts the
// process on a string with a NUL in it); false when the node is null or no string.
bool PlistStringValue(plist_t node, std::string& value);

// The string value of `key` in `dict`; false when it is missing or not a string.
bool PlistDictString(plist_t dict, const char* key, std::string& value);

// The integer reading of a number, a boolean or a string with leading digits (as a string's
// integer value reads "7 days" as 7, and "x" as 0); false for a missing node or one of
// another type.
bool PlistIntegerValue(plist_t node, int64_t& value);

} // namespace oslib
