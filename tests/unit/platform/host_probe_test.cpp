#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "platform/host_probe.h"
#include "platform/linux/host_probe_linux.h"
#include "test_home.h"

namespace {

using platform::ReadMarkedLine;

TEST(ReadMarkedLine, FindsAnIndentedMarkerAndTrimsTheValue)
{
    EXPECT_EQ("ABCD-1234", ReadMarkedLine("printf '      Hardware UUID: ABCD-1234 \\t\\r\\n'", "Hardware UUID: "));
    EXPECT_EQ("Apple M2 Pro", ReadMarkedLine("printf 'Chip: Apple M2 Pro\\nChip: other\\n'", "Chip: "));
}

TEST(ReadMarkedLine, NoAnswerWithoutAFullFirstLineCarryingTheMarker)
{
    EXPECT_EQ(std::nullopt, ReadMarkedLine("true", "Chip: "));
    EXPECT_EQ(std::nullopt, ReadMarkedLine("/nonexistent/profiler", "Chip: "));
    EXPECT_EQ(std::nullopt, ReadMarkedLine("printf 'Chip: M1'", "Chip: "));
    EXPECT_EQ(std::nullopt, ReadMarkedLine("printf 'Chip:M1\\n'", "Chip: "));
    // Only the first line is looked at.
    EXPECT_EQ(std::nullopt, ReadMarkedLine("printf 'Model: x\\nChip: M1\\n'", "Chip: "));
}

TEST(ReadMarkedLine, DoesNotWaitForTheRestOfALongOutput)
{
    EXPECT_EQ("1", ReadMarkedLine("echo 'Chip: 1'; yes", "Chip: "));
}

class LinuxHostProbeTest : public ::testing::Test {
protected:
    std::string Fixture(const std::string& name, const std::string& text)
    {
        std::string path = dir.path() + "/" + name;
        WriteFileText(path, text);
        return path;
    }
    std::unique_ptr<platform::HostProbe> Probe(std::vector<std::string> osRelease, const std::string& cpuinfo,
                                               const std::string& model)
    {
        return platform::MakeLinuxHostProbe(platform::LinuxHostFiles{std::move(osRelease), cpuinfo, model});
    }
    TempDir dir;
};

TEST_F(LinuxHostProbeTest, SystemVersionWithoutPrettyNameFallsBackToNameThenLinux)
{
    const struct {
        const char* osRelease;
        const char* version;
    } rows[] = {
        {"NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 \\\"bookworm\\\"\"\n", "Debian GNU/Linux 12 \"bookworm\""},
        {"PRETTY_NAME='Fedora Linux 40'\n", "Fedora Linux 40"},
        {"ID=debian\nNAME=Debian\n", "Debian"},
        {"PRETTY_NAME=\"\"\nNAME='Arch Linux'\n", "Arch Linux"},
        {"ID=alpine\n", "Linux"},
        {"", "Linux"},
    };
    std::string missing = dir.path() + "/missing";
    for (const auto& row : rows) {
        EXPECT_EQ(row.version, Probe({missing, Fixture("os", row.osRelease)}, "", "")->SystemVersion())
            << row.osRelease;
    }
    // Only the first file found counts; without one the defaults hold too.
    EXPECT_EQ("Linux", Probe({Fixture("a", "ID=x\n"), Fixture("b", "NAME=B\n")}, "", "")->SystemVersion());
    EXPECT_EQ("Linux", Probe({missing}, "", "")->SystemVersion());
}

TEST_F(LinuxHostProbeTest, ProcessorAndChipNames)
{
    std::string x86 = Fixture("x86", "processor\t: 0\nvendor_id\t: AuthenticAMD\nmodel name\t: AMD EPYC 7B13  \n"
                                     "processor\t: 1\nmodel name\t: other\n");
    std::string arm = Fixture("arm", "processor\t: 0\nBogoMIPS\t: 38.40\n\nHardware\t: BCM2835\nModel\t: Pi\n");
    std::string model = Fixture("model", std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31));
    std::string missing = dir.path() + "/missing";

    EXPECT_EQ("AMD EPYC 7B13", Probe({}, x86, missing)->ProcessorName());
    EXPECT_EQ(std::nullopt, Probe({}, arm, model)->ProcessorName());
    EXPECT_EQ("Raspberry Pi 4 Model B Rev 1.4", Probe({}, arm, model)->ChipName());
    EXPECT_EQ("BCM2835", Probe({}, arm, missing)->ChipName());
    EXPECT_EQ(std::nullopt, Probe({}, x86, missing)->ChipName());
    EXPECT_EQ(std::nullopt, Probe({}, missing, missing)->ProcessorName());
}

TEST_F(LinuxHostProbeTest, HardwareUuidIsStableAndNeverTheRawMachineId)
{
    std::optional<std::string> uuid = Probe({}, "", "")->HardwareUUID();
    std::string machineId = ReadFileText("/etc/machine-id");
    if (machineId.empty()) {
        EXPECT_EQ(std::nullopt, uuid);
        return;
    }
    ASSERT_TRUE(uuid);
    EXPECT_TRUE(std::regex_match(*uuid, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")))
        << *uuid;
    EXPECT_EQ(uuid, platform::MakeSystemHostProbe()->HardwareUUID());
    std::string plain = std::regex_replace(*uuid, std::regex("-"), "");
    std::transform(plain.begin(), plain.end(), plain.begin(), ::tolower);
    EXPECT_EQ(std::string::npos, machineId.find(plain));
}

} // namespace
