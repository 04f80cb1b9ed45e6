#include "agent_home.h"

#include "main/check_interval.h"
#include "main/schedule.h"
#include "main/update_decision.h"
#include "oslib/icu_date.h"
#include "stub_server.h"

namespace {

double fixedNow = 0;

double LocalMillis(const char* text)
{
    double millis = 0;
    EXPECT_TRUE(oslib::ParseDate("yyyy-MM-dd HH:mm:ss", text, millis)) << text;
    return millis;
}

const char* kGoodLists =
    R"({"/fw": {"body": "FormatVersion:091\nDeck Unit 2,124,mac,https://x/a.bin\nTidewell,102,mac,https://x/tw.pkg\n"},
        "/pl": {"body": "FormatVersion:091\nDeck Unit 2,14972,4660\n"}})";

class Schedule : public AgentHome {
protected:
    void SetUp() override
    {
        PointListsAt(server_.base());
        InstallUpdaterVersion("1.00");
        InstallRecordingDownloader();
    }

    // A fresh schedule at `now`, with the list last changed at `modified` (null: no list).
    void Restart(const char* now, const char* modified)
    {
        _schedule = DownloadSchedule{};
        _clock = [] { return fixedNow; };
        fixedNow = LocalMillis(now);
        unlink(fwVerInfoTxtPath.c_str());
        if (modified != nullptr) {
            WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\n");
            SetFileTime(fwVerInfoTxtPath, LocalMillis(modified) / 1000);
        }
    }

    StubServer server_{"{}", StubServer::Tls::TrustedCa};
    ScopedConfiguration ca_{[this](oslib::Configuration& c) { c.caBundle = server_.caFile(); }};
};

// The first tick downloads when the list is missing or a day old: 12 to 23 hours count
// as a day when the calendar day changed; a date ahead by an hour or more counts as old.
TEST_F(Schedule, FirstTickDownloadsOnlyAMissingOrOldList)
{
    server_.setRoutes(kGoodLists);
    const struct { const char *now, *modified; double elapsed; bool downloads; } cases[] = {
        {"2026-06-10 21:00:00", "2026-06-10 08:00:00", 86400, false},
        {"2026-06-10 21:00:00", "2026-06-10 08:00:00", 86400.5, true},
        {"2026-06-10 10:00:00", "2026-06-09 22:00:00", 0, true}, {"2026-06-10 09:59:59", "2026-06-09 22:00:00", 0, false},
        {"2026-06-10 21:00:00", "2026-06-09 20:30:00", 0, true},
        {"2026-06-10 21:00:00", "2026-06-10 21:30:00", 0, false},
        {"2026-06-10 21:00:00", "2026-06-10 23:00:00", 0, true},
        {"2026-06-10 21:00:00", nullptr, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.modified == nullptr ? "(none)" : c.modified);
        Restart(c.now, c.modified);
        EXPECT_EQ(c.downloads, DownloadVariousList(c.elapsed));
    }
    // A list the agent would not read, a symlink to a fresh one, is no fresh list.
    Restart("2026-06-10 21:00:00", "2026-06-10 20:00:00");
    ASSERT_EQ(0, rename(fwVerInfoTxtPath.c_str(), home_.file("fresh").c_str()));
    ASSERT_EQ(0, symlink(home_.file("fresh").c_str(), fwVerInfoTxtPath.c_str()));
    EXPECT_TRUE(DownloadVariousList(0));
    EXPECT_TRUE(WaitUntil([&] { return Count(ReadFileText(Launches()), "-m \n") == 6; }, std::chrono::seconds(10)))
        << ReadFileText(Launches());
}

// An old list: sixty retries at most, one per 60 ticks, until one succeeds; none for a fresh one.
// The downloader starts as updater only when the list that came names a newer self version.
// Until the server comes back the lists lie behind a closed local port: a failure that costs nothing.
TEST_F(Schedule, StartUpRetries)
{
    const char* current = R"({"/fw": {"body": "FormatVersion:091\nTidewell,100,mac,https://x/tw.pkg\n"},
                              "/pl": {"body": "FormatVersion:091\n"}})";
    const struct { const char* modified; int back; const char* lists; std::vector<int> succeeded; size_t retries;
                   bool launched; } cases[] = {
        {"2026-06-10 20:00:00", 0, kGoodLists, {}, 0, false}, {nullptr, 0, kGoodLists, {}, 60, false},
        {nullptr, 600, kGoodLists, {601}, 10, true}, {nullptr, 600, current, {601}, 10, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.back); // the tick the server comes back at (0: never)
        Restart("2026-06-10 21:00:00", c.modified);
        PointListsAt("https://127.0.0.1:9");
        server_.setRoutes(c.lists);
        const size_t before = Count(home_.Log(), "download fwVerList. result=");
        std::vector<int> succeeded;
        for (int tick = 1; tick <= 61 * 60 + 200; ++tick) {
            if (tick == c.back) {
                PointListsAt(server_.base());
            }
            if (DownloadVariousListRetry()) {
                succeeded.push_back(tick);
            }
        }
        EXPECT_EQ(c.succeeded, succeeded);
        EXPECT_EQ(c.retries, Count(home_.Log(), "download fwVerList. result=") - before);
        EXPECT_EQ(c.launched, _schedule.isStartupFetchwickLaunched);
    }
    // A failed retry's result says which lists failed: 1 the firmware list, 2 the target list.
    EXPECT_NE(home_.Log().find("download fwVerList. result=3 retry left="), std::string::npos);
}

// "lastCheckDate" is stamped with the week-based year and the 12-hour clock, and read back
// with the 24-hour clock, as the downloader reads it. A date ahead passes: its negative day
// count compares unsigned. `stampedAt` null: the date stays "yesterday", in no format.
TEST_F(Schedule, IntervalSinceTheLastCheck)
{
    const struct { const char *stampedAt, *lastCheck, *checkedAt; bool passed; } cases[] = {
        {nullptr, "yesterday", "2026-06-10 21:00:00", true},
        {"2026-06-10 09:30:00", "2026-06-10 09:30:00", "2026-06-11 04:00:00", false},
        {"2026-06-10 15:30:00", "2026-06-10 03:30:00", "2026-06-11 04:00:00", true},
        {"2025-12-30 10:00:00", "2026-12-30 10:00:00", "2025-12-30 11:00:00", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastCheck);
        Restart(c.stampedAt != nullptr ? c.stampedAt : c.checkedAt, nullptr);
        WritePreferences("<key>FwInterval</key><integer>1</integer><key>lastCheckDate</key><string>yesterday</string>");
        if (c.stampedAt != nullptr) {
            StoreFirmwareCheckDate();
            const std::string stored = ReadFileText(fetchwick::PreferencesPath());
            EXPECT_NE(std::string::npos, stored.find(std::string("<string>") + c.lastCheck + "</string>")) << stored;
        }
        fixedNow = LocalMillis(c.checkedAt);
        EXPECT_EQ(c.passed, HasPastIntervalValue());
    }
}

} // namespace
