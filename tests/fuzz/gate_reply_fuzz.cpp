// The send gate's reply, as arbitrary bytes from the analytics host.
#include <cstddef>
#include <cstdint>
#include <string>

#include "commXdata/gate_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string error;
    ReadMeasurementSwitch(std::string(reinterpret_cast<const char*>(data), size), error);
    return 0;
}
