#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>

#include "main/main.h"
#include "test_home.h"

namespace {

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override { MakeFolders(home.file("Library/Application Support/Quenlar")); }
    void TearDown() override { debugLevel = 3; }

    TempHome home;
};

const char* kStamp = R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\])";

TEST_F(LogFileTest, ShortFormatCarriesStampTagAndMessage)
{
    LogPrintf(3, "/src/dataCollector/collect.cpp", 12, "CollectVariousList Result fw=%d pl=%d\n", 0, 0);
    EXPECT_TRUE(std::regex_match(home.Log(), std::regex(std::string("^") + kStamp + R"(\[INF\] CollectVariousList Result fw=0 pl=0\n$)")))
        << home.Log();
}

TEST_F(LogFileTest, TagsFollowTheLevel)
{
    LogPrintf(4, "a.cpp", 1, "four\n");
    LogPrintf(5, "a.cpp", 1, "five\n");
    LogPrintf(7, "a.cpp", 1, "seven\n");
    std::string log = home.Log();
    EXPECT_NE(std::string::npos, log.find("[WRN] four\n"));
    EXPECT_NE(std::string::npos, log.find("[ERR] five\n"));
    EXPECT_NE(std::string::npos, log.find("[???] seven\n"));
}

TEST_F(LogFileTest, DebugLevelsAreFilteredUntilTheLevelIsLowered)
{
    LogPrintf(1, "/x/y/schedule.cpp", 173, "trace\n");
    LogPrintf(2, "/x/y/schedule.cpp", 173, "note\n");
    EXPECT_EQ("", home.Log());

    debugLevel = 1;
    LogPrintf(1, "/x/y/schedule.cpp", 173, "%s()>>\n", "UpdateFirmware");
    debugLevel = 0;
    LogPrintf(0, "noslash.cpp", 7, "zero\n");
    std::string log = home.Log();
    EXPECT_TRUE(std::regex_search(log, std::regex(std::string(kStamp) + R"(\[DBG\] schedule\.cpp\(00173\) UpdateFirmware\(\)>>\n)")))
        << log;
    EXPECT_NE(std::string::npos, log.find("[???] noslash.cpp(00007) zero\n"));
}

TEST_F(LogFileTest, FileIsStartedAgainOnlyPastTheCap)
{
    WriteFileText(home.LogPath(), std::string(1048576, 'x'));
    LogPrintf(3, "a.cpp", 1, "kept\n");
    EXPECT_EQ(0u, home.Log().find(std::string(1048576, 'x')));
    EXPECT_NE(std::string::npos, home.Log().find("[INF] kept\n"));

    WriteFileText(home.LogPath(), std::string(1048577, 'x'));
    LogPrintf(3, "a.cpp", 1, "fresh\n");
    EXPECT_TRUE(std::regex_match(home.Log(), std::regex(std::string("^") + kStamp + R"(\[INF\] fresh\n$)"))) << home.Log().size();
}

TEST_F(LogFileTest, LongMessagesAreCutAndOddBytesStayValidText)
{
    LogPrintf(3, "a.cpp", 1, "%s\n", std::string(5000, 'y').c_str());
    std::string log = home.Log();
    EXPECT_NE(std::string::npos, log.find("[INF] " + std::string(1023, 'y')));
    EXPECT_EQ(std::string::npos, log.find(std::string(1024, 'y')));

    // A device string holds raw low bytes: 0xE9 alone is not UTF-8.
    LogPrintf(3, "a.cpp", 1, "name %s\n", "caf\xE9");
    EXPECT_NE(std::string::npos, home.Log().find("name caf\xC3\xA9\n"));
}

TEST_F(LogFileTest, OutsideTextCannotForgeLinesInTheFileOrTheSystemLog)
{
    const struct {
        const char* outside;
        const char* written;
    } rows[] = {
        {"A\n[ERR] forged", "A\\n[ERR] forged"},
        {"x\r\n", "x\\r\\n"},
        {"tab\there", "tab\\there"},
        {"\x1B[2J\x07\x7F", "\\x1B[2J\\x07\\x7F"},
    };
    for (const auto& row : rows) {
        testing::internal::CaptureStderr();
        LogPrintf(3, "a.cpp", 1, "name %s\n", row.outside);
        std::string systemLine = testing::internal::GetCapturedStderr();
        std::string line = std::string("[INF] name ") + row.written + "\n";
        EXPECT_EQ(line, systemLine.substr(systemLine.find("[INF]"))) << row.written;
        EXPECT_EQ(line, home.Log().substr(home.Log().rfind("[INF]"))) << row.written;
    }
    std::string log = home.Log();
    EXPECT_EQ(std::size(rows), static_cast<size_t>(std::count(log.begin(), log.end(), '\n')));
}

TEST_F(LogFileTest, MissingFolderLosesOnlyTheFileLine)
{
    TempHome bare;
    LogPrintf(5, "a.cpp", 1, "nowhere\n");
    EXPECT_FALSE(std::ifstream(bare.LogPath()).good());
}

} // namespace
