// String descriptor replies of any bytes and transfer count, decoded into the log and serial hash.
#include <algorithm>
#include <cstring>

#include "dataCollector/app_watch.h"
#include "dataCollector/usb_scan.h"
#include "fuzz_home.h"
#include "oslib/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    FuzzHome();
    // The first two bytes: the transfer count (negative: a failed request).
    int16_t transferred = 0;
    std::memcpy(&transferred, data, sizeof transferred);
    uint8_t buffer[128];
    std::memset(buffer, 0xA5, sizeof buffer);
    std::memcpy(buffer, data + 2, std::min(size - 2, sizeof buffer));

    char* text = nullptr;
    uint16_t length = 0;
    decodeUSBStringDescriptor(buffer, sizeof buffer, transferred, &text, &length);
    if (text != nullptr) {
        TW_LOG(3, "  Product Name     = %s\n", text);
        CalcSerialHash(text);
    }
    std::free(text);
    return 0;
}
