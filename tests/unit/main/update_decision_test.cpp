#include "agent_home.h"

#include <csignal>
#include <sys/resource.h>

namespace {

class UpdateDecision : public AgentHome {
protected:
    void WriteList(const std::string& rows) { WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\n" + rows); }
};

// Rows in list order, then slot order; versions compared as plain text ("1.3" is newer
// than "1.23", "1.2" older than "1.20"); names matched exactly; the file replaced whole.
TEST_F(UpdateDecision, HandOffRows)
{
    const std::pair<const char*, uint16_t> slots[] = {{"Mixer", 0x0100}, {"A,B", 0x0100},  {"deck unit 2", 0x0100},
                                                      {"", 0x0100},      {"Mixer", 0x0101}, {"Deck Unit 2", 0x0123},
                                                      {"Pad", 0x0109},   {"Pad", 0x0120}};
    for (const auto& [name, revision] : slots) {
        devices_.Add(0, name, nullptr, revision);
    }
    WriteFileText(fwVerUpTxtPath, "stale row\n");
    WriteList("A,B,105,mac,https://x/y\r\nMixer,102,MAC,HTTPS://m/1.bin\r\nMixer,109,win,https://m/w.bin\r\n"
              "Deck Unit 2,124,mac,https://d/4\r\nDeck Unit 2,123,mac,https://d/3\r\n"
              "Deck Unit 2,13,mac,https://d/13\r\nDeck Unit 2,122,mac,https://d/2\r\n"
              "Pad,110,mac,https://p/10\r\nPad,12,mac,https://p/2\r\n"
              "Mixer,,mac,https://m/empty\r\nMixer,103,|ac, http://m/2.bin\r\n");
    EXPECT_TRUE(UpdateFirmware(&devices_.list));
    const std::string rows = "A,B,1.00,1.05,https://x/y\nMixer,1.00,1.02,HTTPS://m/1.bin\n"
                             "Mixer,1.01,1.02,HTTPS://m/1.bin\nDeck Unit 2,1.23,1.24,https://d/4\n"
                             "Deck Unit 2,1.23,1.3,https://d/13\n"
                             "Pad,1.09,1.10,https://p/10\nPad,1.09,1.2,https://p/2\nMixer,1.00,1.03,http://m/2.bin\n"
                             "Mixer,1.01,1.03,http://m/2.bin\n";
    EXPECT_EQ(rows, HandOff());
    WriteList("Deck Unit 2,123,mac,https://d/3\nDeck Unit 2,122,mac,https://d/2\n");
    EXPECT_FALSE(UpdateFirmware(&devices_.list));
    EXPECT_EQ(rows, HandOff()) << "nothing newer leaves the file alone";
}

TEST_F(UpdateDecision, HandOffWriteFailureIsNoSuccess)
{
    WriteList("Deck Unit 2,124,mac,https://x/a.bin\nDeck Unit 2,125,mac,https://x/b.bin\n"
              "Tidewell,102,mac,https://t/updater-with-a-longer-name.pkg\n");
    const std::string inPlace = fwVerUpTxtPath;
    WriteFileText(inPlace, "old row\n");
    // With a size limit (0: none) the first row fits, the second is cut short: the earlier
    // file must stay whole. Writes past the limit fail (EFBIG) instead of raising SIGXFSZ.
    sighandler_t handler = signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const struct { std::string handOff; rlim_t sizeLimit; bool folderInPlace; } cases[] = {
        {inPlace, 50, false}, {home_.file("missing/firm_version_up.txt"), 0, false}, {inPlace, 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.handOff);
        fwVerUpTxtPath = c.handOff;
        if (c.folderInPlace) {
            unlink(inPlace.c_str());
            MakeFolders(inPlace);
        }
        devices_.Add(0, "Deck Unit 2", nullptr, 0x0123);
        rlimit limit{c.sizeLimit != 0 ? c.sizeLimit : saved.rlim_cur, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_FALSE(UpdateFirmware(&devices_.list));
        devices_.Clear();
        EXPECT_FALSE(UpdateFwVerTidewell(&devices_.list));
        setrlimit(RLIMIT_FSIZE, &saved);
        if (!c.folderInPlace) {
            EXPECT_EQ("old row\n", ReadFileText(inPlace));
        }
    }
    signal(SIGXFSZ, handler);
    EXPECT_NE(std::string::npos, home_.Log().find("[ERR] Firmware update list write erro\n"));
    EXPECT_NE(std::string::npos, home_.Log().find("[ERR] Firmware update list(Tidewell) write erro\n"));
}

TEST_F(UpdateDecision, UpdaterVersion)
{
    // `installed` null: no info.plist; `handOff` empty: the earlier file stays.
    const struct { const char *installed, *rows, *handOff; } cases[] = {
        {"1.0.1.5", "Tidewell,102,mac,https://t/u.pkg\n", "Tidewell,1.01,1.02,https://t/u.pkg\n"},
        {"1.0.1.5", "Tidewell,101,mac,https://t/u.pkg\n", ""},
        {nullptr, "Tidewell,100,Mac,https://t/u.pkg\n", "Tidewell,0.00,1.00,https://t/u.pkg\n"},
        {"1.00", "Tidewell,,mac,https://t/e\nTidewell,102,mac,https://t/1\nTidewell,109,mac,https://t/2\n",
         "Tidewell,1.00,1.02,https://t/1\n"},
        {"1.00", "Deck Unit 2,124,mac,https://x/a.bin\nTidewell,102,win,https://t/w\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows);
        unlink(BundleFile("info.plist").c_str());
        if (c.installed != nullptr) {
            InstallUpdaterVersion(c.installed);
        }
        WriteFileText(fwVerUpTxtPath, "earlier\n");
        WriteList(c.rows);
        EXPECT_EQ(*c.handOff != '\0', UpdateFwVerTidewell(&devices_.list));
        EXPECT_EQ(*c.handOff != '\0' ? c.handOff : "earlier\n", HandOff());
    }
    devices_.Add(0, "Deck Unit 2", nullptr, 0x0123);
    EXPECT_FALSE(UpdateFwVerTidewell(&devices_.list)) << "no self update while a device is connected";
}

// The downloader starts only when the device count grows; one that cannot start (missing
// here) is logged without stopping the caller.
TEST_F(UpdateDecision, DownloaderStartsOnlyWhenTheCountGrowsAndLaunchErrorsAreLogged)
{
    _connect = 1;
    devices_.Add(0, "Deck Unit 2", nullptr, 0x0123);
    CopyDevicesInfo(&_usbQnlDevInfo, &devices_.list);
    WriteList("Deck Unit 2,124,mac,https://x/a.bin\n");
    const std::pair<int, int> counts[] = {{0, 1}, {2, 2}, {2, 1}};
    for (const auto& [before, after] : counts) {
        unlink(home_.LogPath().c_str());
        deviceFound(before, after);
        EXPECT_EQ(before < after, Count(home_.Log(), "[ERR] Fetchwick launch error(No such file or directory)") == 1)
            << before << " to " << after;
    }
}

} // namespace
