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

TEST_F(Preferences, WriterKeepsEveryOtherKeyOfABinaryFile)
{
    // Before the downloader has run, the agent creates the file and its folder.
    EXPECT_EQ(0, writeFwVersionLastCheckDate("first"));
    platform::PlistPtr value;
    ASSERT_EQ(0, readFwVersionLastCheckDate(value));

    platform::PlistPtr dict(plist_new_dict());
    plist_dict_set_item(dict.get(), "FwInterval", plist_new_uint(7));
    plist_dict_set_item(dict.get(), "lastCheckDate", plist_new_string("old"));
    plist_t nested = plist_new_dict();
    plist_dict_set_item(nested, "appConnected", plist_new_string("DJ One"));
    plist_dict_set_item(dict.get(), "savedReport", nested);
    char* binary = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict.get(), &binary, &length);
    WriteFileText(Path(), std::string(binary, length));
    plist_to_bin_free(binary);

    EXPECT_EQ(0, writeFwVersionLastCheckDate("2026-12-06 11:22:33"));
    platform::PlistPtr stored = platform::ReadPlistDictionary(Path());
    ASSERT_NE(nullptr, stored);
    std::string date;
    EXPECT_TRUE(platform::PlistDictString(stored.get(), "lastCheckDate", date));
    EXPECT_EQ("2026-12-06 11:22:33", date);
    uint32_t interval = 0;
    EXPECT_EQ(0, readIntervalValue(interval));
    EXPECT_EQ(7u, interval);
    std::string app;
    EXPECT_TRUE(platform::PlistDictString(plist_dict_get_item(stored.get(), "savedReport"), "appConnected", app));
    EXPECT_EQ("DJ One", app);
}

} // namespace
