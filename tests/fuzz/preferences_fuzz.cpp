// The downloader's preferences as arbitrary bytes: read, then merged into by the agent's writers.
#include "commXdata/commXdata.h"
#include "dataCollector/preferences.h"
#include "dataCollector/usage_report.h"
#include "fuzz_home.h"
#include "main/check_interval.h"
#include "oslib/plist_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzHome();
    const std::string path = fetchwick::PreferencesPath();
    WriteInput(path, data, size);
    HasPastIntervalValue();  // reads the interval and the date

    writeFwVersionLastCheckDate("2026-12-06 11:22:33");
    _xdate_send_info_t report{"uid", "Deck FirmwareUpdate/Debian/CPU", "291", "Deck/1.23/A1", "SDJP",
                              "2026/12/06-11:22:33(+0000)"};
    saveData(&report);
    oslib::PlistPtr after = oslib::ReadPlistDictionary(path);
    FUZZ_CHECK(after != nullptr && plist_dict_get_item(after.get(), "lastCheckDate") != nullptr);
    return 0;
}
