#include "agent_home.h"

#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

class UpdateDecision : public AgentHome {
protected:
    void WriteList(const std::string& rows) { WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\n" + rows); }
};

TEST_F(UpdateDecision, DeviceRowsFollowPlainTextOrder)
{
    struct Case {
        uint16_t revision;
        const char* digits;
        const char* handOff;  // empty: not newer, nothing written
    };
    const Case cases[] = {
        {0x0123, "124", "Deck Unit 2,1.23,1.24,https://x/a.bin\n"},
        {0x0123, "123", ""},
        {0x0109, "110", "Deck Unit 2,1.09,1.10,https://x/a.bin\n"},
        {0x0123, "13", "Deck Unit 2,1.23,1.3,https://x/a.bin\n"},
        {0x0120, "12", ""},
        {0x0123, "122", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digits);
        unlink(fwVerUpTxtPath.c_str());
        devices_.Clear();
        devices_.Add(0, "Deck Unit 2", nullptr, c.revision);
        WriteList(std::string("Deck Unit 2,") + c.digits + ",mac,https://x/a.bin\n");
        EXPECT_EQ(*c.handOff != '\0', UpdateFirmware(&devices_.list));
        EXPECT_EQ(c.handOff, HandOff());
    }
    EXPECT_NE(std::string::npos, home_.Log().find("[INF] Deck Unit 2 curVer:1.23 latestVer:1.24\n"));
    EXPECT_NE(std::string::npos, home_.Log().find("[INF] Deck Unit 2 curVer:1.23 latestVer:1.23\n"));
}

TEST_F(UpdateDecision, RowsInListOrderThenSlotOrder)
{
    devices_.Add(0, "Mixer", nullptr, 0x0100);
    devices_.Add(0, "A,B", nullptr, 0x0100);
    devices_.Add(0, "deck unit 2", nullptr, 0x0100);
    devices_.Add(0, nullptr, nullptr, 0x0100);
    devices_.Add(0, "Mixer", nullptr, 0x0101);
    WriteFileText(fwVerUpTxtPath, "stale row\n");
    WriteList("A,B,105,mac,https://x/y\r\n"
              "Mixer,102,MAC,HTTPS://m/1.bin\r\n"
              "Mixer,109,win,https://m/w.bin\r\n"
              "Deck Unit 2,200,mac,https://d\r\n"
              "Mixer,,mac,https://m/empty\r\n"
              "Mixer,103,|ac, http://m/2.bin\r\n");
    EXPECT_TRUE(UpdateFirmware(&devices_.list));
    EXPECT_EQ("A,B,1.00,1.05,https://x/y\n"
              "Mixer,1.00,1.02,HTTPS://m/1.bin\n"
              "Mixer,1.01,1.02,HTTPS://m/1.bin\n"
              "Mixer,1.00,1.03,http://m/2.bin\n"
              "Mixer,1.01,1.03,http://m/2.bin\n",
              HandOff());
}

// Writes into regular files past `bytes` fail (EFBIG) while it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : handler_(signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, handler_);
    }

private:
    rlimit saved_{};
    sighandler_t handler_;
};

TEST_F(UpdateDecision, HandOffWriteFailureIsNoSuccess)
{
    WriteList("Deck Unit 2,124,mac,https://x/a.bin\nDeck Unit 2,125,mac,https://x/b.bin\n"
              "Tidewell,102,mac,https://t/updater-with-a-longer-name.pkg\n");
    const std::string inPlace = fwVerUpTxtPath;
    WriteFileText(inPlace, "old row\n");
    struct Case {
        const char* fault;
        std::string handOff;
        rlim_t sizeLimit;  // 0: none
        bool folderInPlace;
    };
    const Case cases[] = {
        // The first row fits, the second is cut short: the earlier file must stay whole.
        {"second row fails", inPlace, 50, false},
        {"no folder", home_.file("missing/firm_version_up.txt"), 0, false},
        {"folder in the file's place", inPlace, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        fwVerUpTxtPath = c.handOff;
        if (c.folderInPlace) {
            unlink(inPlace.c_str());
            MakeFolders(inPlace);
        }
        devices_.Add(0, "Deck Unit 2", nullptr, 0x0123);
        std::optional<FileSizeLimit> limit;
        if (c.sizeLimit != 0) {
            limit.emplace(c.sizeLimit);
        }
        EXPECT_FALSE(UpdateFirmware(&devices_.list));
        devices_.Clear();
        EXPECT_FALSE(UpdateFwVerTidewell(&devices_.list));
        limit.reset();
        if (!c.folderInPlace) {
            EXPECT_EQ("old row\n", ReadFileText(inPlace));
        }
    }
    EXPECT_NE(std::string::npos, home_.Log().find("[ERR] Firmware update list write erro\n"));
    EXPECT_NE(std::string::npos, home_.Log().find("[ERR] Firmware update list(Tidewell) write erro\n"));
}

TEST_F(UpdateDecision, UpdaterVersion)
{
    struct Case {
        const char* installed;  // null: no info.plist
        const char* rows;
        const char* handOff;    // empty: nothing written
    };
    const Case cases[] = {
        {"1.0.1.5", "Tidewell,102,mac,https://t/u.pkg\n", "Tidewell,1.01,1.02,https://t/u.pkg\n"},
        {"1.0.1.5", "Tidewell,101,mac,https://t/u.pkg\n", ""},
        {"1.23", "Tidewell,13,mac,https://t/u.pkg\n", "Tidewell,1.23,1.3,https://t/u.pkg\n"},
        {nullptr, "Tidewell,100,Mac,https://t/u.pkg\n", "Tidewell,0.00,1.00,https://t/u.pkg\n"},
        {"1.00", "Tidewell,,mac,https://t/e\nTidewell,102,mac,https://t/1\nTidewell,109,mac,https://t/2\n",
         "Tidewell,1.00,1.02,https://t/1\n"},
        {"1.00", "Deck Unit 2,124,mac,https://x/a.bin\nTidewell,102,win,https://t/w\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows);
        unlink(BundleFile("info.plist").c_str());
        if (c.installed != nullptr) {
            InstallUpdaterVersion(c.installed);
        }
        WriteFileText(fwVerUpTxtPath, "Deck Unit 2,1.23,1.24,https://x/a.bin\n");
        WriteList(c.rows);
        bool expected = *c.handOff != '\0';
        EXPECT_EQ(expected, UpdateFwVerTidewell(&devices_.list));
        EXPECT_EQ(expected ? c.handOff : "Deck Unit 2,1.23,1.24,https://x/a.bin\n", HandOff());
    }
    EXPECT_NE(std::string::npos, home_.Log().find("[ERR] not get fileVersion.\n"));

    devices_.Add(0, "Deck Unit 2", nullptr, 0x0123);
    EXPECT_FALSE(UpdateFwVerTidewell(&devices_.list));
}

} // namespace
