// The downloader's preferences. (Built with the firmware path.)
#include "main/main.h"

#include "main/fetchwick_contract.h"
#include "platform/user_folders.h"

std::string FetchwickPreferencesPath() { return platform::LibraryFolder() + fetchwick::kPreferencesRelativePath; }

int readIntervalValue(uint32_t& interval)
{
    interval = 0;
    return -1;
}
int readFwVersionLastCheckDate(platform::PlistPtr&) { return -1; }
int writeFwVersionLastCheckDate(const std::string&) { return 0; }
