// The host's identity and description, collected once at start-up for the usage reports.
#include "dataCollector/host_info.h"

#include "oslib/log.h"
#include "platform/backends.h"

int CollectMacInfo(MacInfo* info)
{
    TW_TRACE_IN();
    platform::HostProbe& probe = *platform::Installed().hostProbe;
    std::optional<std::string> uuid = probe.HardwareUUID();
    std::optional<std::string> version = probe.SystemVersion();
    std::optional<std::string> processor = probe.ProcessorName();
    if (!processor) {
        processor = probe.ChipName();
    }

    int result = -1;
    if (uuid && version) {
        info->hardwareUUID = *uuid;
        info->processorName = processor.value_or("Unknown_Processor");
        info->systemVersion = *version;
        result = 0;
    } else {
        TW_LOG(5, "GetPcInfo() failed\n");
    }
    TW_LOG(3, "Mac Name   = %s %s\n", info->hardwareUUID.c_str(), info->processorName.c_str());
    TW_LOG(3, "Mac Serial = %s\n", info->systemVersion.c_str());
    TW_TRACE_OUT();
    return result;
}
