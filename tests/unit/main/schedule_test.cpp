#include "firmware_home.h"

#include <functional>
#include <sys/stat.h>
#include <vector>

#include "commXdata/commXdata.h"
#include "list_urls.h"
#include "main/schedule.h"
#include "platform/icu_date.h"
#include "stub_server.h"

namespace {

double fixedNow = 0;
double FixedNow() { return fixedNow; }

double LocalMillis(const char* text)
{
    double millis = 0;
    EXPECT_TRUE(platform::ParseDate("yyyy-MM-dd HH:mm:ss", text, millis)) << text;
    return millis;
}

const char* kGoodLists = R"({"/fw": {"body": "FormatVersion:091\nDeck Unit 2,124,mac,https://x/a.bin\n"},
                              "/pl": {"body": "FormatVersion:091\nDeck Unit 2,14972,4660\n"}})";

class Schedule : public FirmwareHome {
protected:
    void SetUp() override
    {
        FirmwareHome::SetUp();
        _schedule = DownloadSchedule{};
    }
    void TearDown() override
    {
        _schedule = DownloadSchedule{};
        debugLevel = 3;
    }

    // Calls the retry once per tick, `count` times; returns the ticks (1-based) that reported success.
    std::vector<int> RetryTicks(int count, const std::function<void(int)>& beforeTick = {})
    {
        std::vector<int> succeeded;
        for (int tick = 1; tick <= count; ++tick) {
            if (beforeTick) {
                beforeTick(tick);
            }
            if (DownloadVariousListRetry()) {
                succeeded.push_back(tick);
            }
        }
        return succeeded;
    }

    ScopedListUrls urls_;
};

TEST_F(Schedule, ListAgeInDays)
{
    _schedule.nowMillis = FixedNow;
    EXPECT_EQ(1, diffFileDateAndCurDate());
    EXPECT_NE(std::string::npos, home_.Log().find("[INF] diffDay(force):1\n"));

    struct Case {
        const char* now;
        const char* modified;
        int32_t days;
    };
    const Case cases[] = {
        {"2026-06-10 11:00:00", "2026-06-09 22:00:00", 1}, // 13 hours, yesterday
        {"2026-06-10 21:00:00", "2026-06-10 08:00:00", 0}, // 13 hours, today
        {"2026-06-10 21:00:00", "2026-06-10 10:00:00", 0}, // 11 hours
        {"2026-06-10 21:00:00", "2026-06-09 21:30:00", 1}, // 23.5 hours, yesterday
        {"2026-06-10 21:00:00", "2026-06-07 20:00:00", 3},
        {"2026-06-10 21:00:00", "2026-06-10 21:30:00", 0}, // half an hour ahead truncates to 0 hours
        {"2026-06-10 21:00:00", "2026-06-10 23:00:00", 178956970}, // ahead: a huge unsigned hour count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.modified);
        fixedNow = LocalMillis(c.now);
        WriteFileText(fwVerInfoTxtPath, "x");
        SetFileTime(fwVerInfoTxtPath, LocalMillis(c.modified) / 1000);
        EXPECT_EQ(c.days, diffFileDateAndCurDate());
    }
}

TEST_F(Schedule, FirstTickDownloadsOnlyAMissingOrOldList)
{
    StubServer server(kGoodLists);
    urls_.PointAt(server.base());
    _schedule.nowMillis = FixedNow;
    fixedNow = LocalMillis("2026-06-10 21:00:00");
    WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\n");
    SetFileTime(fwVerInfoTxtPath, LocalMillis("2026-06-10 08:00:00") / 1000);
    EXPECT_FALSE(DownloadVariousList(0));
    EXPECT_FALSE(DownloadVariousList(86400));
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(DownloadVariousList(86400.5));
    EXPECT_EQ(2u, server.requests().size());

    _schedule = DownloadSchedule{};
    _schedule.nowMillis = FixedNow;
    fixedNow = LocalMillis("2026-06-10 11:00:00");
    SetFileTime(fwVerInfoTxtPath, LocalMillis("2026-06-09 22:00:00") / 1000);
    EXPECT_TRUE(DownloadVariousList(0));
    EXPECT_EQ(4u, server.requests().size());

    _schedule = DownloadSchedule{};
    unlink(fwVerInfoTxtPath.c_str());
    EXPECT_TRUE(DownloadVariousList(0));
    EXPECT_EQ("FormatVersion:091\nDeck Unit 2,124,mac,https://x/a.bin\n", ReadFileText(fwVerInfoTxtPath));
    EXPECT_EQ("FormatVersion:091\nDeck Unit 2,14972,4660\n", ReadFileText(tarProductIdPath));
}

TEST_F(Schedule, FreshListEndsTheRetriesAtTheFirstCheck)
{
    StubServer server(kGoodLists);
    urls_.PointAt(server.base());
    WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\n");
    EXPECT_FALSE(DownloadVariousList(0));
    EXPECT_TRUE(RetryTicks(60).empty());
    EXPECT_TRUE(_schedule.startupVerInfoDownload);
    EXPECT_TRUE(RetryTicks(1000).empty());
    EXPECT_FALSE(_schedule.startupVerInfoDownload);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(Schedule, SixtyRetriesWhileTheServerIsUnreachable)
{
    urls_.PointAt("http://127.0.0.1:" + std::to_string(UnusedLocalPort()));
    EXPECT_TRUE(DownloadVariousList(0));
    EXPECT_TRUE(RetryTicks(61 * 60 + 200).empty());
    std::string log = home_.Log();
    EXPECT_EQ(60u, Count(log, "download fwVerList. result=3 retry left="));
    size_t previous = 0;
    for (int left = 59; left >= 0; --left) {
        size_t at = log.find("download fwVerList. result=3 retry left=" + std::to_string(left) + "\n", previous);
        ASSERT_NE(std::string::npos, at) << left;
        previous = at;
    }
    EXPECT_EQ(61u, Count(log, "CollectVariousList Result fw=1 pl=1\n"));
}

TEST_F(Schedule, RetrySucceedsWhenTheServerComesBack)
{
    StubServer server(R"({})");
    urls_.PointAt(server.base());
    EXPECT_TRUE(DownloadVariousList(0));
    EXPECT_EQ((std::vector<int>{601}), RetryTicks(2000, [&](int tick) {
                  if (tick == 600) {
                      server.setRoutes(kGoodLists);
                  }
              }));
    std::string log = home_.Log();
    EXPECT_EQ(9u, Count(log, "download fwVerList. result=3"));
    EXPECT_NE(std::string::npos, log.find("download fwVerList. result=0 retry left=50\n"));
    EXPECT_EQ(22u, server.requests().size());
}

TEST_F(Schedule, IntervalSinceTheLastCheck)
{
    auto daysAgo = [](double days) {
        return "<key>lastCheckDate</key><string>" +
               platform::FormatDate("yyyy-MM-dd HH:mm:ss", platform::NowMillis() - days * 86400e3) + "</string>";
    };
    struct Case {
        std::string preferences;  // empty: no file
        bool passed;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"", true, "[INF] not get last access time\n"},
        {"<key>FwInterval</key><integer>7</integer>" + daysAgo(3), false, "[INF] diffDate:3, interval:7\n"},
        {"<key>FwInterval</key><integer>7</integer>" + daysAgo(8), true, "[INF] diffDate:8, interval:7\n"},
        {"<key>FwInterval</key><string>7</string>" + daysAgo(3), false, "diffDate:3, interval:7\n"},
        {daysAgo(1), true, "not get interval value\n"},
        {"<key>FwInterval</key><integer>7</integer>" + daysAgo(-2.5), true, "diffDate:-2, interval:7\n"},
        {"<key>FwInterval</key><integer>7</integer><key>lastCheckDate</key><integer>3</integer>", true,
         "not get last access time\n"},
        {"<key>FwInterval</key><integer>7</integer><key>lastCheckDate</key><string>yesterday</string>", true,
         "not get last access time\n"},
    };
    debugLevel = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preferences);
        unlink(home_.LogPath().c_str());
        unlink(Preferences().c_str());
        if (!c.preferences.empty()) {
            WritePreferences(c.preferences);
        }
        EXPECT_EQ(c.passed, HasPastIntervalValue());
        EXPECT_NE(std::string::npos, home_.Log().find(c.message)) << home_.Log();
    }
}

} // namespace
