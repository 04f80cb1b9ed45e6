// The list URL override files, whatever a user or another program left in them.
#include "commXdata/commXdata.h"
#include "fuzz_home.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ResetListURLs();
    WriteInput(FuzzHome() + "/.local/share/Quenlar/FwUpInfoURL.txt", data, size);
    WriteInput(FuzzHome() + "/.local/share/Quenlar/TarProductURL.txt", data, size);
    SetTemporaryURL();
    return 0;
}
