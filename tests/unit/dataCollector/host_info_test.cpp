// CollectMacInfo against a stand-in probe.
#include <array>

#include "agent_home.h"
#include "dataCollector/host_info.h"

namespace {

using Item = std::optional<std::string>;

struct StandInProbe : platform::HostProbe {
    explicit StandInProbe(std::array<Item, 4> items) : items(std::move(items)) {}
    Item HardwareUUID() override { return items[0]; }
    Item SystemVersion() override { return items[1]; }
    Item ProcessorName() override { return items[2]; }
    Item ChipName() override { return items[3]; }
    std::array<Item, 4> items;
};

using HostInfo = AgentHome;

// Identifier and version are both required; the processor falls back to the chip, then "Unknown_Processor".
TEST_F(HostInfo, IdentifierAndVersionRequiredProcessorFallsBack)
{
    const Item none;
    const struct { std::array<Item, 4> items; int result; const char* processorName; } cases[] = {
        {{"UUID", "OS", "CPU", "Chip"}, 0, "CPU"}, {{"UUID", "OS", none, "Chip"}, 0, "Chip"},
        {{"UUID", "OS", none, none}, 0, "Unknown_Processor"}, {{"UUID", none, "CPU", "Chip"}, -1, "old-cpu"},
        {{none, "OS", "CPU", "Chip"}, -1, "old-cpu"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ScopedBackends probe([&c](platform::Backends& b) { b.hostProbe = std::make_shared<StandInProbe>(c.items); });
        MacInfo info{"old-uuid", "old-cpu", "old-version"};
        EXPECT_EQ(c.result, CollectMacInfo(&info));
        EXPECT_EQ(c.result == 0 ? "UUID|OS" : "old-uuid|old-version", info.hardwareUUID + "|" + info.systemVersion);
        EXPECT_EQ(c.processorName, info.processorName);
    }
}

} // namespace
