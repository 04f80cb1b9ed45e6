// The list URL override files, whatever a user or another program left in them.
#include <cstring>

#include "commXdata/commXdata.h"
#include "fuzz_home.h"

namespace {

const std::string defaultFw = fwUpdateURL, defaultPl = tarProductURL;

void Reset(char (&url)[1024], const std::string& value) { std::snprintf(url, sizeof url, "%s", value.c_str()); }

bool Sane(const char (&url)[1024])
{
    return strnlen(url, sizeof url) < sizeof url && std::strchr(url, '\n') == nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reset(fwUpdateURL, defaultFw);
    Reset(tarProductURL, defaultPl);
    WriteInput(FuzzHome() + "/Library/Quenlar/FwUpInfoURL.txt", data, size);
    WriteInput(FuzzHome() + "/Library/Quenlar/TarProductURL.txt", data, size);
    SetTemporaryURL();
    FUZZ_CHECK(Sane(fwUpdateURL) && Sane(tarProductURL));
    return 0;
}
