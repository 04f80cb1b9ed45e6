#include "oslib/plist_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "oslib/mutex.h"
#include "oslib/replacement_file.h"
#include "oslib/whole_file.h"

namespace oslib {

namespace {

struct XmlDeleter {
    void operator()(char* xml) const { plist_to_xml_free(xml); }
};

// Writes `contents` to `path` with `mode` through a temporary file in the same folder and
// a rename, synced to disk first. Returns false (and leaves `path` untouched) on any failure.
bool ReplaceFileAtomically(const std::string& path, const std::string& contents, mode_t mode)
{
    std::unique_ptr<ReplacementFile> file = ReplacementFile::Create(path, mode);
    return file && file->Write(contents.data(), contents.size()) &&
           file->Commit() == ReplacementFile::Outcome::kReplaced;
}

// Preferences of a few keys and the bundles' small files: a larger file is no property list
// of theirs.
constexpr size_t kPlistCap = 1024 * 1024;

} // namespace

PlistPtr ReadPlistDictionary(const std::string& path)
{
    std::string contents;
    if (!ReadRegularFile(path, contents, kPlistCap) || contents.empty()) {
        return nullptr;
    }
    plist_t root = nullptr;
    plist_from_memory(contents.data(), static_cast<uint32_t>(contents.size()), &root);
    PlistPtr owned(root);
    if (!owned || plist_get_node_type(owned.get()) != PLIST_DICT) {
        return nullptr;
    }
    return owned;
}

bool MergeIntoPlistFile(const std::string& path, mode_t mode, const std::function<void(plist_t dict)>& merge)
{
    // One merge at a time in this process: two threads that read the same file would
    // each write back their own key only. Taken under the agent's _lock too; nothing
    // here takes another lock.
    static Mutex merging;
    MutexLock guard(merging);
    PlistPtr dict = ReadPlistDictionary(path);
    if (!dict) {
        dict.reset(plist_new_dict());
    }
    merge(dict.get());

    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dict.get(), &xml, &length);
    // Owned at once: the copy below may throw.
    std::unique_ptr<char, XmlDeleter> owned(xml);
    if (owned == nullptr) {
        return false;
    }
    return ReplaceFileAtomically(path, std::string(owned.get(), length), mode);
}

bool PlistStringValue(plist_t node, std::string& value)
{
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return false;
    }
    // The recorded length is not to be trusted either: the XML reader keeps the length
    // of the whole text but copies it only up to its first NUL.
    const char* text = plist_get_string_ptr(node, nullptr);
    if (text == nullptr) {
        return false;
    }
    value = text;
    return true;
}

bool PlistDictString(plist_t dict, const char* key, std::string& value)
{
    return PlistStringValue(dict ? plist_dict_get_item(dict, key) : nullptr, value);
}

bool PlistIntegerValue(plist_t node, int64_t& value)
{
    switch (plist_get_node_type(node)) {
    case PLIST_UINT: {
        uint64_t raw = 0;
        plist_get_uint_val(node, &raw);
        value = static_cast<int64_t>(raw);
        return true;
    }
    case PLIST_REAL: {
        double real = 0;
        plist_get_real_val(node, &real);
        value = static_cast<int64_t>(std::isnan(real) ? 0.0 : std::clamp(real, -9.2e18, 9.2e18));
        return true;
    }
    case PLIST_BOOLEAN: {
        uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        value = flag != 0 ? 1 : 0;
        return true;
    }
    case PLIST_STRING: {
        std::string text;
        PlistStringValue(node, text);
        value = std::strtoll(text.c_str(), nullptr, 10);
        return true;
    }
    default:
        return false;
    }
}

} // namespace oslib
