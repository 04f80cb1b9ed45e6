#include "plist_value.h"

#include <limits>

#include "whole_file.h"

namespace uninstaller {

PlistPtr ReadPlistDictionary(const std::string& path)
{
    std::optional<std::string> data = ReadWholeFile(path);
    if (!data || data->empty() || data->size() > std::numeric_limits<uint32_t>::max()) {
        return nullptr;
    }
    plist_t root = nullptr;
    plist_from_memory(data->data(), static_cast<uint32_t>(data->size()), &root);
    PlistPtr owned(root);
    if (!owned || plist_get_node_type(root) != PLIST_DICT) {
        return nullptr;
    }
    return owned;
}

std::optional<std::string> PlistDictString(plist_t dict, const char* key)
{
    plist_t node = plist_dict_get_item(dict, key);
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    // The copying getter asserts on a string with a NUL in it; the text up to it is enough.
    const char* value = plist_get_string_ptr(node, nullptr);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

} // namespace uninstaller
