// The list URL override files, whatever a user or another program left in them.
#include "commXdata/commXdata.h"
#include "fuzz_home.h"

const std::string defaultFw = fwUpdateURL, defaultPl = tarProductURL;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::snprintf(fwUpdateURL, sizeof fwUpdateURL, "%s", defaultFw.c_str());
    std::snprintf(tarProductURL, sizeof tarProductURL, "%s", defaultPl.c_str());
    WriteInput(FuzzHome() + "/Library/Quenlar/FwUpInfoURL.txt", data, size);
    WriteInput(FuzzHome() + "/Library/Quenlar/TarProductURL.txt", data, size);
    SetTemporaryURL();
    return 0;
}
