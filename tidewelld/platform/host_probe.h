// The host's identity and description: a stable hardware identifier, the operating
// system's version text and the processor (or chip) name.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace platform {

// Each item is nullopt when this host cannot tell it.
class HostProbe {
public:
    virtual ~HostProbe() = default;
    virtual std::optional<std::string> HardwareUUID() = 0;
    virtual std::optional<std::string> SystemVersion() = 0;
    virtual std::optional<std::string> ProcessorName() = 0;
    // Asked only when there is no processor name: hosts built on a system-on-chip.
    virtual std::optional<std::string> ChipName() = 0;
};

// The platform's own probe.
std::unique_ptr<HostProbe> MakeSystemHostProbe();

} // namespace platform
