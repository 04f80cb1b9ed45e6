// The downloader's preferences file as arbitrary bytes (XML or binary property list, or
// neither): the agent's readers, then its writers, which merge into the file and must keep
// what it held.
#include "commXdata/commXdata.h"
#include "fuzz_home.h"

namespace {

// Whether the dictionary comes back from XML with as many keys. A binary file may name
// one key twice, and which value is read back is then libplist's choice, not the agent's.
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

bool Holds(plist_t dict, const char* key, const std::string& value)
{
    std::string stored;
    return platform::PlistDictString(dict, key, stored) && stored == value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzHome();
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

    // A file that held no dictionary now holds one.
    platform::PlistPtr after = platform::ReadPlistDictionary(path);
    FUZZ_CHECK(after != nullptr);
    if (before && !KeysSurviveXml(before.get())) {
        return 0;
    }
    FUZZ_CHECK(Holds(after.get(), "lastCheckDate", "2026-12-06 11:22:33"));
    FUZZ_CHECK(Holds(after.get(), "deviceSerial", "Deck/1.23/A1"));
    // The seed files' keys (keys in general cannot be listed: libplist asserts on a NUL in one).
    for (const char* key : {"FwInterval", "nested", "big", "list"}) {
        FUZZ_CHECK(!before || !plist_dict_get_item(before.get(), key) || plist_dict_get_item(after.get(), key));
    }
    return 0;
}
