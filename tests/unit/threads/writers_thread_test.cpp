// Two writers at once: log lines never torn, preferences keys never lost.
#include <regex>
#include <sstream>
#include <thread>

#include "agent_home.h"

namespace {

using Writers = AgentHome;

TEST_F(Writers, LogLinesNeverTorn)
{
    auto writer = [](char c) {
        for (int i = 0; i < 200; ++i) {
            LogPrintf(3, "a.cpp", 1, "%s\n", std::string(300, c).c_str());
        }
    };
    std::thread a(writer, 'a');
    writer('b');
    a.join();
    std::istringstream in(home_.Log());
    int count = 0;
    for (std::string text; std::getline(in, text); ++count) {
        EXPECT_TRUE(std::regex_match(text, std::regex(R"(^\[[0-9/ :]{19}\]\[INF\] (a{300}|b{300})$)"))) << text;
    }
    EXPECT_EQ(400, count);
}

// The device-change thread stores "lastCheckDate" while the tick saves a usage report.
TEST_F(Writers, LastCheckDateAndSavedReportKeepEachOther)
{
    for (int round = 0; round < 20; ++round) {
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
        const std::string stored = ReadFileText(FetchwickPreferencesPath());
        ASSERT_NE(std::string::npos, stored.find("<string>2026-12-06 11:22:39</string>")) << round;
        ASSERT_NE(std::string::npos, stored.find("<string>Deck/1.23/A9</string>")) << round;
    }
}

} // namespace
