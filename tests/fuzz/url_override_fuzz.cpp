// The list URL override files, whatever a user or another program left in them.
#include <cstring>

#include "commXdata/commXdata.h"
#include "fuzz_home.h"

namespace {

char defaultFw[sizeof fwUpdateURL];
char defaultPl[sizeof tarProductURL];

void CheckUrl(const char (&url)[1024])
{
    size_t length = strnlen(url, sizeof url);
    FUZZ_CHECK(length < sizeof url);
    FUZZ_CHECK(std::memchr(url, '\n', length) == nullptr);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzHome();
    std::memcpy(defaultFw, fwUpdateURL, sizeof defaultFw);
    std::memcpy(defaultPl, tarProductURL, sizeof defaultPl);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::memcpy(fwUpdateURL, defaultFw, sizeof defaultFw);
    std::memcpy(tarProductURL, defaultPl, sizeof defaultPl);
    WriteInput(FuzzHome() + "/Library/Quenlar/FwUpInfoURL.txt", data, size);
    WriteInput(FuzzHome() + "/Library/Quenlar/TarProductURL.txt", data, size);
    SetTemporaryURL();
    CheckUrl(fwUpdateURL);
    CheckUrl(tarProductURL);
    return 0;
}
