#include <gtest/gtest.h>

#include "main/main.h"
#include "platform/host_probe.h"
#include "platform/user_folders.h"
#include "test_home.h"

namespace {

using platform::CommandTableProbe;
using platform::MarkedCommand;

// Profiler stand-ins: each item is a shell command printing what a profiler would.
class HostInfoTest : public ::testing::Test {
protected:
    void SetUp() override { MakeFolders(home.file("Library/Application Support/Quenlar")); }
    void TearDown() override { platform::SetHostProbeFactory(nullptr); }

    void Profiler(const std::string& uuid, const std::string& version, const std::string& processor,
                  const std::string& chip)
    {
        CommandTableProbe::Table table{{uuid, "Hardware UUID: "},
                                       {version, "System Version: "},
                                       {processor, "Processor Name: "},
                                       {chip + "; echo chip >> '" + home.file("chip-asked") + "'", "Chip: "}};
        platform::SetHostProbeFactory([table] { return std::make_unique<CommandTableProbe>(table); });
    }

    TempHome home;
    MacInfo info;
};

const char* kUuid = "printf '      Hardware UUID: 12345678-ABCD-4EF0-9123-456789ABCDEF\\n'";
const char* kVersion = "printf '      System Version: macOS 14.4 (23E214) \\r\\n'";

TEST_F(HostInfoTest, FillsAllThreeItems)
{
    Profiler(kUuid, kVersion, "printf '      Processor Name: Quad-Core Intel Core i7\\n'", "printf 'Chip: x\\n'");
    EXPECT_EQ(0, CollectMacInfo(&info));
    EXPECT_EQ("12345678-ABCD-4EF0-9123-456789ABCDEF", info.hardwareUUID);
    EXPECT_EQ("Quad-Core Intel Core i7", info.processorName);
    EXPECT_EQ("macOS 14.4 (23E214)", info.systemVersion);
    EXPECT_FALSE(platform::PathExists(home.file("chip-asked")));
    EXPECT_NE(std::string::npos, home.Log().find(
        "Mac Name   = 12345678-ABCD-4EF0-9123-456789ABCDEF Quad-Core Intel Core i7\n"));
    EXPECT_NE(std::string::npos, home.Log().find("Mac Serial = macOS 14.4 (23E214)\n"));
}

TEST_F(HostInfoTest, ProcessorFallsBackToTheChipThenToUnknown)
{
    Profiler(kUuid, kVersion, "true", "printf '      Chip: Apple M2 Pro\\r\\n'");
    EXPECT_EQ(0, CollectMacInfo(&info));
    EXPECT_EQ("Apple M2 Pro", info.processorName);

    Profiler(kUuid, kVersion, "true", "true");
    EXPECT_EQ(0, CollectMacInfo(&info));
    EXPECT_EQ("Unknown_Processor", info.processorName);
}

TEST_F(HostInfoTest, IdentifierAndVersionAreBothRequired)
{
    info = MacInfo{"old-uuid", "old-cpu", "old-version"};
    Profiler(kUuid, "true", "printf 'Processor Name: new-cpu\\n'", "true");
    EXPECT_EQ(-1, CollectMacInfo(&info));
    Profiler("true", kVersion, "printf 'Processor Name: new-cpu\\n'", "true");
    EXPECT_EQ(-1, CollectMacInfo(&info));
    EXPECT_EQ("old-uuid", info.hardwareUUID);
    EXPECT_EQ("old-cpu", info.processorName);
    EXPECT_EQ("old-version", info.systemVersion);
    EXPECT_NE(std::string::npos, home.Log().find("[ERR] GetPcInfo() failed\n"));
    EXPECT_NE(std::string::npos, home.Log().find("Mac Name   = old-uuid old-cpu\n"));
}

} // namespace
