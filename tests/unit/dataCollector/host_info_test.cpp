// CollectMacInfo against a stand-in probe.
#include "agent_home.h"
#include "dataCollector/host_info.h"

namespace {

struct ProbeItems {
    std::optional<std::string> uuid, version, processor, chip;
};

class StandInProbe : public platform::HostProbe {
public:
    explicit StandInProbe(ProbeItems items) : items_(std::move(items)) {}
    std::optional<std::string> HardwareUUID() override { return items_.uuid; }
    std::optional<std::string> SystemVersion() override { return items_.version; }
    std::optional<std::string> ProcessorName() override { return items_.processor; }
    std::optional<std::string> ChipName() override { return items_.chip; }

private:
    ProbeItems items_;
};

using HostInfo = AgentHome;

// Identifier and version are both required; the processor falls back to the chip, then "Unknown_Processor".
TEST_F(HostInfo, IdentifierAndVersionRequiredProcessorFallsBack)
{
    const std::nullopt_t none = std::nullopt;
    const struct { ProbeItems items; int result; const char* processorName; } cases[] = {
        {{"UUID", "OS", "CPU", "Chip"}, 0, "CPU"},
        {{"UUID", "OS", none, "Chip"}, 0, "Chip"},
        {{"UUID", "OS", none, none}, 0, "Unknown_Processor"},
        {{"UUID", none, "CPU", "Chip"}, -1, "old-cpu"},
        {{none, "OS", "CPU", "Chip"}, -1, "old-cpu"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.processorName);
        platform::SetHostProbeFactory([&c] { return std::make_unique<StandInProbe>(c.items); });
        MacInfo info{"old-uuid", "old-cpu", "old-version"};
        EXPECT_EQ(c.result, CollectMacInfo(&info));
        EXPECT_EQ(c.result == 0 ? "UUID|OS" : "old-uuid|old-version", info.hardwareUUID + "|" + info.systemVersion);
        EXPECT_EQ(c.processorName, info.processorName);
    }
}

} // namespace
