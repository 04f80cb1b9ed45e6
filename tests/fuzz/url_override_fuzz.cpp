// The list URL override files, whatever a user or another program left in them.
#include "commXdata/commXdata.h"
#include "fuzz_home.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ResetListURLs();
    WriteInput(FuzzHome() + "/Library/Quenlar/FwUpInfoURL.txt", data, size);
    WriteInput(FuzzHome() + "/Library/Quenlar/TarProductURL.txt", data, size);
    SetTemporaryURL();
    return 0;
}
