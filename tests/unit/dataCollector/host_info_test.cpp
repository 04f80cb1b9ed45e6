// CollectMacInfo against profiler stand-ins: shell commands printing what a profiler would.
#include "agent_home.h"

namespace {

using platform::CommandTableProbe;
using HostInfo = AgentHome;

// Identifier and version are both required; the processor falls back to the chip, then "Unknown_Processor".
TEST_F(HostInfo, IdentifierAndVersionRequiredProcessorFallsBack)
{
    const std::string uuid = "printf '      Hardware UUID: 12345678-ABCD-4EF0-9123-456789ABCDEF\\n'";
    const std::string version = "printf '      System Version: macOS 14.4 (23E214) \\r\\n'";
    const std::string cpu = "printf '      Processor Name: Quad-Core Intel Core i7\\n'";
    const std::string chip = "printf '      Chip: Apple M2 Pro\\r\\n'";
    const struct { std::string uuid, version, processor, chip; int result; const char* processorName; } cases[] = {
        {uuid, version, cpu, chip, 0, "Quad-Core Intel Core i7"},
        {uuid, version, "true", chip, 0, "Apple M2 Pro"},
        {uuid, version, "true", "true", 0, "Unknown_Processor"},
        {uuid, "true", cpu, chip, -1, "old-cpu"},
        {"true", version, cpu, chip, -1, "old-cpu"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.processor + " / " + c.chip);
        CommandTableProbe::Table table{{c.uuid, "Hardware UUID: "}, {c.version, "System Version: "},
                                       {c.processor, "Processor Name: "}, {c.chip, "Chip: "}};
        platform::SetHostProbeFactory([table] { return std::make_unique<CommandTableProbe>(table); });
        MacInfo info{"old-uuid", "old-cpu", "old-version"};
        EXPECT_EQ(c.result, CollectMacInfo(&info));
        EXPECT_EQ(c.result == 0 ? "12345678-ABCD-4EF0-9123-456789ABCDEF|macOS 14.4 (23E214)" : "old-uuid|old-version",
                  info.hardwareUUID + "|" + info.systemVersion);
        EXPECT_EQ(c.processorName, info.processorName);
    }
}

} // namespace
