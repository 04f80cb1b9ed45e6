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

// Runs `command` through the shell and reads the first line of its output (at most 511
// bytes). The item is the text after `marker`, found anywhere in that line, trimmed of
// white space and line ends. nullopt when the command cannot start, prints nothing, ends
// its only line without a newline, or the line lacks the marker.
std::optional<std::string> ReadMarkedLine(const std::string& command, const std::string& marker);

// One item of a profiler that prints "Marker: value" lines.
struct MarkedCommand {
    std::string command;
    std::string marker;
};

// A probe whose items are shell commands read with ReadMarkedLine, so that a platform
// with a profiler tool supplies only the table.
class CommandTableProbe : public HostProbe {
public:
    struct Table {
        MarkedCommand hardwareUUID;
        MarkedCommand systemVersion;
        MarkedCommand processorName;
        MarkedCommand chipName;
    };
    explicit CommandTableProbe(Table table) : table_(std::move(table)) {}

    std::optional<std::string> HardwareUUID() override { return Read(table_.hardwareUUID); }
    std::optional<std::string> SystemVersion() override { return Read(table_.systemVersion); }
    std::optional<std::string> ProcessorName() override { return Read(table_.processorName); }
    std::optional<std::string> ChipName() override { return Read(table_.chipName); }

private:
    static std::optional<std::string> Read(const MarkedCommand& item) { return ReadMarkedLine(item.command, item.marker); }
    Table table_;
};

} // namespace platform
