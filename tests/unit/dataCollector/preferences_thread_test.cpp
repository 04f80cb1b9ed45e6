// The two threads of the agent writing the downloader's preferences at the same time: the
// device-change thread stores "lastCheckDate", the tick saves a usage report.
#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "commXdata/commXdata.h"
#include "dataCollector/dataCollector.h"
#include "test_home.h"

namespace {

TEST(PreferencesThreads, LastCheckDateAndSavedReportWrittenAtOnceKeepEachOther)
{
    TempHome home;
    constexpr int kRounds = 20;
    constexpr int kWrites = 10;
    for (int round = 0; round < kRounds; ++round) {
        std::remove(FetchwickPreferencesPath().c_str());
        std::thread deviceChange([] {
            for (int i = 0; i < kWrites; ++i) {
                writeFwVersionLastCheckDate("2026-12-06 11:22:3" + std::to_string(i));
            }
        });
        for (int i = 0; i < kWrites; ++i) {
            _xdate_send_info_t report{"uid", "agent", "291", "Deck/1.23/A" + std::to_string(i), "SDJP", "date"};
            saveData(&report);
        }
        deviceChange.join();

        platform::PlistPtr stored = platform::ReadPlistDictionary(FetchwickPreferencesPath());
        ASSERT_TRUE(stored);
        std::string value;
        EXPECT_TRUE(platform::PlistDictString(stored.get(), "lastCheckDate", value)) << "round " << round;
        EXPECT_TRUE(platform::PlistDictString(stored.get(), "deviceSerial", value)) << "round " << round;
        EXPECT_EQ("Deck/1.23/A9", value);
    }
}

} // namespace
