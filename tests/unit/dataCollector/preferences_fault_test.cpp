// The downloader's preferences file as another program may leave it.
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "dataCollector/dataCollector.h"
#include "main/main.h"
#include "test_home.h"

namespace {

class PreferencesFault : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeFolders(home_.file("Library/Preferences"));
        MakeFolders(home_.file("Library/Application Support/Quenlar"));
    }

    // The downloader's side: a whole new file from another process, written aside and
    // renamed into place. `dict` is a Python dictionary expression.
    void RewriteAsDownloader(const std::string& dict, bool binary)
    {
        std::string script = "import plistlib, os, sys\n"
                             "data = plistlib.dumps(" + dict + ", fmt=plistlib.FMT_" + (binary ? "BINARY" : "XML") +
                             ")\n"
                             "open(sys.argv[1] + '.new', 'wb').write(data)\n"
                             "os.replace(sys.argv[1] + '.new', sys.argv[1])\n";
        WriteFileText(scratch_.path() + "/rewrite.py", script);
        std::string command = std::string(TIDEWELL_PYTHON) + " " + scratch_.path() + "/rewrite.py '" + Path() + "'";
        ASSERT_EQ(0, std::system(command.c_str()));
    }
    std::string Path() const { return FetchwickPreferencesPath(); }
    std::string StoredString(const char* key) const
    {
        std::string value;
        platform::PlistPtr dict = platform::ReadPlistDictionary(Path());
        EXPECT_TRUE(dict != nullptr && platform::PlistDictString(dict.get(), key, value)) << key;
        return value;
    }

    TempHome home_;
    TempDir scratch_;
};

TEST_F(PreferencesFault, FileRewrittenByTheDownloaderBetweenTheReadsKeepsItsKeys)
{
    RewriteAsDownloader("{'FwInterval': 7, 'lastCheckDate': '2026-01-02 03:04:05'}", false);
    uint32_t interval = 0;
    ASSERT_EQ(0, readIntervalValue(interval));
    EXPECT_EQ(7u, interval);
    platform::PlistPtr date;
    ASSERT_EQ(0, readFwVersionLastCheckDate(date));

    RewriteAsDownloader("{'FwInterval': 14, 'downloaderState': 'installing', 'lastCheckDate': 'x'}", true);
    writeFwVersionLastCheckDate("2026-12-06 11:22:33");

    EXPECT_EQ("installing", StoredString("downloaderState"));
    EXPECT_EQ("2026-12-06 11:22:33", StoredString("lastCheckDate"));
    ASSERT_EQ(0, readIntervalValue(interval));
    EXPECT_EQ(14u, interval);
}

TEST_F(PreferencesFault, StringWithANulInABinaryOrXmlFileIsReadUpToItInsteadOfAborting)
{
    RewriteAsDownloader("{'FwInterval': '9\\x00 days', 'lastCheckDate': '2000-01-02 03:04:05\\x00junk'}", true);
    uint32_t interval = 0;
    EXPECT_EQ(0, readIntervalValue(interval));
    EXPECT_EQ(9u, interval);
    EXPECT_TRUE(HasPastIntervalValue());
    EXPECT_NE(std::string::npos, home_.Log().find(", interval:9\n")) << "the date was read";

    // The XML reader keeps a length beyond the NUL that it copies up to.
    const char xml[] = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>FwInterval</key>"
                       "<string>12\0 days</string></dict></plist>";
    WriteFileText(Path(), std::string(xml, sizeof xml - 1));
    EXPECT_EQ(0, readIntervalValue(interval));
    EXPECT_EQ(12u, interval);
    EXPECT_TRUE(HasPastIntervalValue());
}

TEST_F(PreferencesFault, FolderInPlaceOfTheFileIsNoFileInsteadOfAnAbort)
{
    MakeFolders(Path());
    uint32_t interval = 5;
    EXPECT_EQ(-1, readIntervalValue(interval));
    EXPECT_EQ(0u, interval);
    EXPECT_TRUE(HasPastIntervalValue());
    EXPECT_EQ(0, writeFwVersionLastCheckDate("2026-12-06 11:22:33"));
    EXPECT_FALSE(platform::ReadPlistDictionary(Path()));
}

} // namespace
