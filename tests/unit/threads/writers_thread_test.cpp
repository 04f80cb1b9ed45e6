// Two writers at once: log lines never torn, preferences keys never lost.
#include <regex>
#include <sstream>
#include <thread>

#include "agent_home.h"

namespace {

using Writers = AgentHome;

TEST_F(Writers, LogLinesNeverTorn)
{
    constexpr int kLines = 200;
    auto writer = [](char c) {
        std::string body(300, c);
        for (int i = 0; i < kLines; ++i) {
            LogPrintf(3, "a.cpp", 1, "%s\n", body.c_str());
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    std::regex line(R"(^\[[0-9/ :]{19}\]\[INF\] (a{300}|b{300})$)");
    std::istringstream in(home_.Log());
    int count = 0;
    for (std::string text; std::getline(in, text); ++count) {
        EXPECT_TRUE(std::regex_match(text, line)) << text.substr(0, 80);
    }
    EXPECT_EQ(2 * kLines, count);
}

// The device-change thread stores "lastCheckDate" while the tick saves a usage report.
TEST_F(Writers, LastCheckDateAndSavedReportKeepEachOther)
{
    auto stored = [](const char* key) {
        std::string value;
        platform::PlistDictString(platform::ReadPlistDictionary(FetchwickPreferencesPath()).get(), key, value);
        return value;
    };
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::remove(FetchwickPreferencesPath().c_str());
        std::thread deviceChange([] {
            for (int i = 0; i < 10; ++i) {
                writeFwVersionLastCheckDate("2026-12-06 11:22:3" + std::to_string(i));
            }
        });
        for (int i = 0; i < 10; ++i) {
            _xdate_send_info_t report{"uid", "agent", "291", "Deck/1.23/A" + std::to_string(i), "SDJP", "date"};
            saveData(&report);
        }
        deviceChange.join();
        EXPECT_EQ("2026-12-06 11:22:39", stored("lastCheckDate"));
        EXPECT_EQ("Deck/1.23/A9", stored("deviceSerial"));
    }
}

} // namespace
