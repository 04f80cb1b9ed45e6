#include "firmware_home.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/icu_date.h"
#include "platform/process.h"
#include "platform/user_folders.h"

namespace {

class DeviceChange : public FirmwareHome {
protected:
    void SetUp() override
    {
        FirmwareHome::SetUp();
        debugLevel = 1;
    }
    void TearDown() override
    {
        debugLevel = 3;
        _connect = 0;
        platform::ReapDetachedChildren();
        FirmwareHome::TearDown();
    }

    // A stand-in downloader that floods its output before it records "argc|arg1|arg2":
    // it finishes only if nobody has to read what it writes.
    void InstallDownloader(mode_t mode = 0755)
    {
        WriteFileText(BundleFile("MacOS/Fetchwick"), "#!/bin/sh\n"
                                                     "head -c 1048576 /dev/zero\n"
                                                     "head -c 1048576 /dev/zero >&2\n"
                                                     "printf '%s|%s|%s\\n' \"$#\" \"$1\" \"$2\" >> '" +
                                                         Record() + "'\n");
        chmod(BundleFile("MacOS/Fetchwick").c_str(), mode);
    }
    std::string Record() const { return applications_.path() + "/launches"; }
    std::string WaitForRecord(const std::string& expected) const
    {
        for (int i = 0; i < 400 && ReadFileText(Record()) != expected; ++i) {
            usleep(25000);
        }
        return ReadFileText(Record());
    }
    size_t Launches() const
    {
        std::string log = Log();
        size_t count = 0;
        for (size_t at = log.find("LaunchFetchwick()>>"); at != std::string::npos; at = log.find("LaunchFetchwick()>>", at + 1)) {
            ++count;
        }
        return count;
    }
};

TEST_F(DeviceChange, LaunchPassesModeAndHandOffAndNeedsNoReader)
{
    InstallDownloader();
    LaunchFetchwick("-f ");
    EXPECT_EQ("2|-f |" + fwVerUpTxtPath + "\n", WaitForRecord("2|-f |" + fwVerUpTxtPath + "\n"));
}

TEST_F(DeviceChange, DownloaderThatCannotStartIsLogged)
{
    LaunchFetchwick("-m ");
    EXPECT_NE(std::string::npos, Log().find("[ERR] Fetchwick launch error("));
    InstallDownloader(0644);
    LaunchFetchwick("-m ");
    EXPECT_NE(std::string::npos, Log().find("[ERR] Fetchwick launch error(Permission denied)"));
    EXPECT_NE(std::string::npos, Log().find("LaunchFetchwick()<<"));
}

TEST_F(DeviceChange, LaunchOnlyWhenTheProductCountGrew)
{
    InstallDownloader();
    WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\nDeck Unit 2,124,mac,https://x/a.bin\n");
    AddDevice("Deck Unit 2", 0x0123, _usbQnlDevInfo);

    _connect = 0;
    deviceFound(0, 1);
    EXPECT_EQ(std::string::npos, Log().find("UpdateFirmware()>>"));

    _connect = 1;
    deviceFound(0, 1);
    EXPECT_EQ("Deck Unit 2,1.23,1.24,https://x/a.bin\n", HandOff());
    EXPECT_EQ(1u, Launches());
    EXPECT_EQ("2|-f |" + fwVerUpTxtPath + "\n", WaitForRecord("2|-f |" + fwVerUpTxtPath + "\n"));

    // Checked just now, with a week's interval: the rows are written, nothing starts.
    unlink(fwVerUpTxtPath.c_str());
    WritePreferences("<key>FwInterval</key><integer>7</integer><key>lastCheckDate</key><string>" +
                     platform::FormatDate("yyyy-MM-dd HH:mm:ss", platform::NowMillis()) + "</string>");
    deviceFound(0, 1);
    EXPECT_EQ("Deck Unit 2,1.23,1.24,https://x/a.bin\n", HandOff());
    EXPECT_EQ(1u, Launches());

    // A second unit of a connected product does not grow the count.
    unlink(Preferences().c_str());
    deviceFound(1, 1);
    EXPECT_EQ(1u, Launches());
    EXPECT_TRUE(platform::PathExists(Preferences()));
}

} // namespace
