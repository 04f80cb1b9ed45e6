#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "dataCollector/dataCollector.h"
#include "test_home.h"

namespace {

class Preferences : public ::testing::Test {
protected:
    std::string Path() const { return home_.file("Library/Preferences/com.quenlar.Fetchwick.plist"); }
    void WriteDict(const std::string& body)
    {
        WriteFileText(Path(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + body +
                                  "</dict></plist>\n");
    }

    TempHome home_;
};

TEST_F(Preferences, IntervalReadings)
{
    uint32_t interval = 99;
    EXPECT_EQ(-1, readIntervalValue(interval));
    EXPECT_EQ(0u, interval);

    struct Case {
        const char* value;
        int result;
        uint32_t interval;
    };
    const Case cases[] = {
        {"<integer>7</integer>", 0, 7},
        {"<string>14 days</string>", 0, 14},
        {"<string>often</string>", 0, 0},
        {"<real>3.9</real>", 0, 3},
        {"<true/>", 0, 1},
        {"<date>2026-01-01T00:00:00Z</date>", -1, 0},
        {"<array><integer>7</integer></array>", -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        WriteDict(std::string("<key>FwInterval</key>") + c.value);
        interval = 99;
        EXPECT_EQ(c.result, readIntervalValue(interval));
        EXPECT_EQ(c.interval, interval);
    }
    WriteDict("<key>Other</key><integer>7</integer>");
    EXPECT_EQ(-1, readIntervalValue(interval));
    EXPECT_EQ(0u, interval);
}

TEST_F(Preferences, WriterCreatesTheFileAndItsFolder)
{
    // Before the downloader has run, neither exists.
    EXPECT_EQ(0, writeFwVersionLastCheckDate("first"));
    platform::PlistPtr value;
    ASSERT_EQ(0, readFwVersionLastCheckDate(value));
}

} // namespace
