#include "agent_home.h"

#include <csignal>
#include <sys/resource.h>

#include "main/device_change.h"
#include "main/update_decision.h"

namespace {

using UpdateDecision = AgentHome;

void WriteList(const std::string& rows) { WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\n" + rows); }

// Rows in list order, then slot order; versions compared as plain text ("1.3" is newer than "1.23", "1.2" older than
// "1.20"); names matched exactly; the file replaced whole. A package address that could break out of the downloader's
// field is no URL: one line tells how many rows it cost.
TEST_F(UpdateDecision, HandOffRows)
{
    oslib::MutexLock guard(_lock);
    std::string refused;
    const std::string bad[] = {" ", "\"", "\\", "<", ">", "`", std::string(1, '\0'), "\xc2\x9b", "\xc2\xa0", "\xe2\x80\xae"};
    for (const std::string& character : bad) {
        refused += "Pad,13,mac,https://p/$(id)" + character + "\r\n";
    }
    devices_.Add(0, "Mixer", nullptr, 0x0100).Add(0, "A,B", nullptr, 0x0100).Add(0, "Mixer", nullptr, 0x0101);
    devices_.Add(0, "deck unit 2", nullptr, 0x0100).Add(0, "Deck Unit 2", nullptr, 0x0123).Add(0, "Pad", nullptr, 0x0120);
    WriteFileText(fwVerUpTxtPath, "stale row\n");
    WriteList("A,B,105,mac,https://x/y\r\nMixer,102,MAC,HTTPS://m/1.bin\r\nMixer,109,win,https://m/w.bin\r\n"
              "Deck Unit 2,123,mac,https://d/3\r\nDeck Unit 2,13,mac,https://d/13\r\nPad,12,mac,https://p/2\r\n"
              "Mixer,,mac,https://m/empty\r\nMixer,103,|ac, http://m/2.bin\r\n" + refused);
    EXPECT_TRUE(UpdateFirmware(&devices_.list));
    EXPECT_EQ(1u, Count(home_.Log(), "[WRN] 10 firmware list row(s) skipped: package URL holds"));
    EXPECT_EQ("A,B,1.00,1.05,https://x/y\nMixer,1.00,1.02,HTTPS://m/1.bin\nMixer,1.01,1.02,HTTPS://m/1.bin\n"
              "Deck Unit 2,1.23,1.3,https://d/13\nMixer,1.00,1.03,http://m/2.bin\nMixer,1.01,1.03,http://m/2.bin\n",
              HandOff());
}

TEST_F(UpdateDecision, HandOffWriteFailureIsNoSuccess)
{
    oslib::MutexLock guard(_lock);
    WriteList("Deck Unit 2,124,mac,https://x/a.bin\nDeck Unit 2,125,mac,https://x/b.bin\n"
              "Tidewell,102,mac,https://t/updater-with-a-longer-name.pkg\n");
    const std::string inPlace = fwVerUpTxtPath;
    WriteFileText(inPlace, "old row\n");
    MakeFolders(home_.file("a folder"));
    // With a size limit (0: none) the first row fits, the second is cut short: the earlier file must stay
    // whole. Then a hand-off in a missing folder, and one whose place a folder holds. Writes past the limit
    // fail (EFBIG) instead of raising SIGXFSZ.
    sighandler_t handler = signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const std::pair<std::string, rlim_t> cases[] = {
        {inPlace, 50}, {home_.file("missing/firm_version_up.txt"), 0}, {home_.file("a folder"), 0}};
    for (const auto& [handOff, sizeLimit] : cases) {
        SCOPED_TRACE(handOff);
        fwVerUpTxtPath = handOff;
        devices_.Add(0, "Deck Unit 2", nullptr, 0x0123);
        rlimit limit{sizeLimit != 0 ? sizeLimit : saved.rlim_cur, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_FALSE(UpdateFirmware(&devices_.list));
        devices_.Clear();
        EXPECT_FALSE(UpdateFwVerTidewell(&devices_.list));
        setrlimit(RLIMIT_FSIZE, &saved);
    }
    signal(SIGXFSZ, handler);
    EXPECT_EQ("old row\n", ReadFileText(inPlace));
}

// `installed` null: no info.plist. A row without a version or with no URL is skipped; the first newer row wins.
TEST_F(UpdateDecision, UpdaterVersion)
{
    oslib::MutexLock guard(_lock);
    WriteList("Tidewell,,mac,https://t/e\nTidewell,109,mac,https://t/<x>\nTidewell,102,Mac,https://t/1\n"
              "Tidewell,109,mac,https://t/2\n");
    const std::pair<const char*, const char*> cases[] = {{"1.0.1.5", "Tidewell,1.01,1.02,https://t/1\n"},
                                                         {nullptr, "Tidewell,0.00,1.02,https://t/1\n"}};
    for (const auto& [installed, handOff] : cases) {
        SCOPED_TRACE(handOff);
        unlink(BundleFile("info.plist").c_str());
        if (installed != nullptr) {
            InstallUpdaterVersion(installed);
        }
        EXPECT_TRUE(UpdateFwVerTidewell(&devices_.list));
        EXPECT_EQ(handOff, HandOff());
    }
    devices_.Add(0, "Deck Unit 2", nullptr, 0x0123);
    EXPECT_FALSE(UpdateFwVerTidewell(&devices_.list)) << "no self update while a device is connected";
}

// The downloader starts only when the device count grows, and only a start spends the check ("lastCheckDate"): a
// rescan that finds the same count must not hold a due update back for the whole interval, and the last rescan
// comes within it. A downloader that cannot start (missing at first) is logged once, and spends nothing either.
TEST_F(UpdateDecision, DownloaderStartsWhenTheCountGrowsAndOnlyAStartSpendsTheCheck)
{
    _connect = 1;
    WritePreferences("<key>FwInterval</key><integer>7</integer>");
    devices_.Add(0, "Deck Unit 2", nullptr, 0x0123);
    CopyDevicesInfo(&_usbQnlDevInfo, &devices_.list);
    WriteList("Deck Unit 2,124,mac,https://x/a.bin\n");
    const struct { int before, after; bool installs, checked; } steps[] = {
        {0, 1, false, false}, {2, 2, true, false}, {2, 1, false, false}, {0, 1, false, true}, {0, 1, false, true}};
    for (const auto& step : steps) {
        if (step.installs) {
            InstallRecordingDownloader();
        }
        deviceFound(step.before, step.after);
        EXPECT_EQ(1u, Count(home_.Log(), "[ERR] Fetchwick launch error(No such file or directory)"));
        EXPECT_EQ(step.checked, ReadFileText(fetchwick::PreferencesPath()).find("lastCheckDate") != std::string::npos)
            << step.before << " to " << step.after;
    }
    EXPECT_TRUE(WaitUntil([&] { return ReadFileText(Launches()) == "-f \n"; }, std::chrono::seconds(10)));
}

} // namespace
