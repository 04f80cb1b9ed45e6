// The device-change callback: the downloader starts only when the device count grows,
// and a downloader that cannot start is logged without stopping the caller.
#include "agent_home.h"

#include <sys/stat.h>

namespace {

using DeviceChange = AgentHome;

TEST_F(DeviceChange, DownloaderStartsOnlyWhenTheCountGrowsAndLaunchErrorsAreLogged)
{
    const struct {
        int before, after;
        const char* launched;  // null: no launch
    } cases[] = {{0, 1, "[ERR] Fetchwick launch error(No such file or directory)"}, {2, 2, nullptr}, {2, 1, nullptr}};
    _connect = 1;
    devices_.Add(0, "Deck Unit 2", nullptr, 0x0123);
    CopyDevicesInfo(&_usbQnlDevInfo, &devices_.list);
    WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\nDeck Unit 2,124,mac,https://x/a.bin\n");
    for (const auto& c : cases) {
        unlink(home_.LogPath().c_str());
        deviceFound(c.before, c.after);
        EXPECT_EQ(c.launched != nullptr, home_.Log().find("Fetchwick launch error") != std::string::npos) << c.after;
        if (c.launched != nullptr) {
            EXPECT_NE(std::string::npos, home_.Log().find(c.launched));
        }
    }
    WriteFileText(BundleFile("MacOS/Fetchwick"), "#!/bin/sh\n");
    chmod(BundleFile("MacOS/Fetchwick").c_str(), 0644);
    LaunchFetchwick("-f ");
    EXPECT_NE(std::string::npos, home_.Log().find("[ERR] Fetchwick launch error(Permission denied)"));
}

} // namespace
