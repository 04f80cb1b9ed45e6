// The downloader's preferences file as arbitrary bytes (XML or binary property list, or
// neither): the agent's readers, then its writers, which merge into the file. Whatever the
// file held must survive the agent's writes.
#include <cstring>

#include "commXdata/commXdata.h"
#include "fuzz_home.h"

namespace {

// The downloader's keys of the seed files are still there. (Keys cannot be listed in
// general, as libplist asserts on listing a key with a NUL in it; nor can values be
// compared, as a binary file may name one key twice.)
void CheckKeysKept(plist_t before, plist_t after)
{
    for (const char* key : {"FwInterval", "nested", "big", "list"}) {
        FUZZ_CHECK(plist_dict_get_item(before, key) == nullptr || plist_dict_get_item(after, key) != nullptr);
    }
}

// Whether the dictionary comes back with as many keys from the XML that the agent writes.
// A binary file may name one key twice: which of the two values is read back is then
// libplist's choice, not the agent's.
bool KeysSurviveXml(plist_t dict)
{
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dict, &xml, &length);
    plist_t again = nullptr;
    if (xml != nullptr) {
        plist_from_xml(xml, length, &again);
    }
    platform::PlistPtr owned(again);
    plist_to_xml_free(xml);
    return owned && plist_dict_get_size(owned.get()) == plist_dict_get_size(dict);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = FetchwickPreferencesPath();
    WriteInput(path, data, size);
    platform::PlistPtr before = platform::ReadPlistDictionary(path);

    uint32_t interval = 0;
    readIntervalValue(interval);
    platform::PlistPtr date;
    readFwVersionLastCheckDate(date);
    HasPastIntervalValue();

    writeFwVersionLastCheckDate("2026-12-06 11:22:33");
    _xdate_send_info_t report{"uid", "Deck FirmwareUpdate/Debian/CPU", "291", "Deck/1.23/A1", "SDJP",
                              "2026/12/06-11:22:33(+0000)"};
    saveData(&report);

    // A file that holds no dictionary is replaced by one with the agent's keys.
    platform::PlistPtr after = platform::ReadPlistDictionary(path);
    FUZZ_CHECK(after != nullptr);
    if (before && !KeysSurviveXml(before.get())) {
        return 0;
    }
    std::string stored;
    FUZZ_CHECK(platform::PlistDictString(after.get(), "lastCheckDate", stored) && stored == "2026-12-06 11:22:33");
    FUZZ_CHECK(platform::PlistDictString(after.get(), "deviceSerial", stored) && stored == "Deck/1.23/A1");
    if (before) {
        CheckKeysKept(before.get(), after.get());
    }
    return 0;
}
