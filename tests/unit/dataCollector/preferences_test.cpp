// The downloader's preferences file, which the agent shares with the downloader.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "commXdata/commXdata.h"
#include "dataCollector/dataCollector.h"
#include "agent_home.h"

namespace {

using Preferences = AgentHome;

std::string Dict(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + body + "</dict></plist>\n";
}

std::string Stored(const char* key)
{
    std::string value;
    platform::PlistPtr dict = platform::ReadPlistDictionary(FetchwickPreferencesPath());
    EXPECT_TRUE(dict != nullptr && platform::PlistDictString(dict.get(), key, value)) << key;
    return value;
}

TEST_F(Preferences, IntervalReadings)
{
    uint32_t interval = 99;
    EXPECT_EQ(-1, readIntervalValue(interval));
    EXPECT_EQ(0u, interval);
    const struct {
        std::string file;
        int result;
        uint32_t interval;
    } cases[] = {
        {Dict("<key>FwInterval</key><integer>7</integer>"), 0, 7},
        {Dict("<key>FwInterval</key><string>14 days</string>"), 0, 14},
        {Dict("<key>FwInterval</key><string>often</string>"), 0, 0},
        {Dict("<key>FwInterval</key><real>3.9</real>"), 0, 3},
        {Dict("<key>FwInterval</key><true/>"), 0, 1},
        {Dict("<key>FwInterval</key><date>2026-01-01T00:00:00Z</date>"), -1, 0},
        {Dict("<key>FwInterval</key><array><integer>7</integer></array>"), -1, 0},
        {Dict("<key>Other</key><integer>7</integer>"), -1, 0},
        {"<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>", -1, 0},
        {"not a plist at all", -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        WriteFileText(FetchwickPreferencesPath(), c.file);
        interval = 99;
        EXPECT_EQ(c.result, readIntervalValue(interval));
        EXPECT_EQ(c.interval, interval);
    }
}

// The downloader rewrites its file as a whole (written aside, renamed into place), as XML
// or binary, at any time: every write of the agent keeps what is on disk at that moment.
TEST_F(Preferences, WritesKeepTheKeysOnDiskAtThatMoment)
{
    TempDir scratch;
    const std::string path = FetchwickPreferencesPath();
    auto rewriteAsDownloader = [&](const std::string& dict, const char* format) {
        WriteFileText(scratch.path() + "/rewrite.py",
                      "import plistlib, os, sys\n"
                      "open(sys.argv[1] + '.new', 'wb').write(plistlib.dumps(" + dict + ", fmt=plistlib.FMT_" +
                          format + "))\n"
                          "os.replace(sys.argv[1] + '.new', sys.argv[1])\n");
        std::string command = std::string(TIDEWELL_PYTHON) + " " + scratch.path() + "/rewrite.py '" + path + "'";
        ASSERT_EQ(0, std::system(command.c_str()));
    };
    // Before the downloader has run, neither the file nor its folder exists.
    EXPECT_EQ(0, writeFwVersionLastCheckDate("first"));
    EXPECT_EQ("first", Stored("lastCheckDate"));

    rewriteAsDownloader("{'FwInterval': 7, 'lastCheckDate': '2026-01-02 03:04:05'}", "XML");
    uint32_t interval = 0;
    ASSERT_EQ(0, readIntervalValue(interval));
    EXPECT_EQ(7u, interval);
    rewriteAsDownloader("{'FwInterval': 14, 'downloaderState': 'installing', 'lastCheckDate': 'x'}", "BINARY");
    writeFwVersionLastCheckDate("2026-12-06 11:22:33");
    EXPECT_EQ("installing", Stored("downloaderState"));
    EXPECT_EQ("2026-12-06 11:22:33", Stored("lastCheckDate"));
    ASSERT_EQ(0, readIntervalValue(interval));
    EXPECT_EQ(14u, interval);

    WriteFileText(path, "\x01\x02 garbage");
    _xdate_send_info_t report{"uid", "agent", "291", "Deck/1.23/A", "SDJP", "date"};
    saveData(&report);
    EXPECT_EQ("Deck/1.23/A", Stored("deviceSerial"));
    auto entries = std::filesystem::directory_iterator(std::filesystem::path(path).parent_path());
    EXPECT_EQ(1, std::distance(begin(entries), end(entries))) << "a temporary file was left behind";
}

} // namespace
