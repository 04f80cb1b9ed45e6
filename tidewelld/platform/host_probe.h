// The host's identity and description: a stable hardware identifier, the operating
// system's version text and the processor (or chip) name.
#pragma once

#include <functional>
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

// The probe of this platform, or the one made by the factory that tests installed.
std::unique_ptr<HostProbe> MakeHostProbe();

// Replaces the platform's probe (tests); an empty factory restores it.
void SetHostProbeFactory(std::function<std::unique_ptr<HostProbe>()> factory);

// The platform's own probe.
std::unique_ptr<HostProbe> MakeSystemHostProbe();

} // namespace platform
