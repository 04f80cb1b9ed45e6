#include "firmware_home.h"

#include <sys/stat.h>

namespace {

using DeviceChange = FirmwareHome;

TEST_F(DeviceChange, DownloaderThatCannotStartIsLoggedAndTheCallerGoesOn)
{
    LaunchFetchwick("-m ");
    EXPECT_NE(std::string::npos, home_.Log().find("[ERR] Fetchwick launch error(No such file or directory)"));
    WriteFileText(BundleFile("MacOS/Fetchwick"), "#!/bin/sh\n");
    chmod(BundleFile("MacOS/Fetchwick").c_str(), 0644);
    LaunchFetchwick("-f ");
    EXPECT_NE(std::string::npos, home_.Log().find("[ERR] Fetchwick launch error(Permission denied)"));
}

} // namespace
