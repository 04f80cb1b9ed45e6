// The device-change callback: the downloader starts only when the device count grows,
// and a downloader that cannot start is logged without stopping the caller.
#include "agent_home.h"

namespace {

using DeviceChange = AgentHome;

TEST_F(DeviceChange, DownloaderStartsOnlyWhenTheCountGrowsAndLaunchErrorsAreLogged)
{
    _connect = 1;
    devices_.Add(0, "Deck Unit 2", nullptr, 0x0123);
    CopyDevicesInfo(&_usbQnlDevInfo, &devices_.list);
    WriteFileText(fwVerInfoTxtPath, "FormatVersion:091\nDeck Unit 2,124,mac,https://x/a.bin\n");
    // The downloader is missing: a launch shows as its error.
    const struct { int before, after; bool launched; } cases[] = {{0, 1, true}, {2, 2, false}, {2, 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        unlink(home_.LogPath().c_str());
        deviceFound(c.before, c.after);
        EXPECT_EQ(c.launched, Count(home_.Log(), "[ERR] Fetchwick launch error(No such file or directory)") == 1);
    }
}

} // namespace
