#include <algorithm>
#include <regex>

#include "platform/linux/host_probe_linux.h"
#include "test_home.h"

namespace {

TEST(LinuxHostProbe, SystemVersionIsPrettyNameElseNameElseLinuxAndProcessorAndChipNames)
{
    TempDir dir;
    const std::string missing = dir.path() + "/missing";
    const auto file = [&dir](const std::string& name, const std::string& text) {
        WriteFileText(dir.path() + "/" + name, text);
        return dir.path() + "/" + name;
    };
    const auto probe = [](std::vector<std::string> osRelease, const std::string& cpuinfo, const std::string& model) {
        return platform::MakeLinuxHostProbe({std::move(osRelease), cpuinfo, model});
    };
    // The first file is missing, the second read; without a name there, "Linux".
    const std::pair<const char*, const char*> rows[] = {
        {"NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 \\\"bookworm\\\"\"\n", "Debian GNU/Linux 12 \"bookworm\""},
        {"PRETTY_NAME=\"\"\nNAME='Arch Linux'\n", "Arch Linux"},
        {"ID=alpine\n", "Linux"},
    };
    for (const auto& [osRelease, version] : rows) {
        EXPECT_EQ(version, probe({missing, file("os", osRelease)}, "", "")->SystemVersion()) << osRelease;
    }
    const std::string x86 = file("x86", "processor\t: 0\nvendor_id\t: AuthenticAMD\nmodel name\t: AMD EPYC 7B13  \n"
                                        "processor\t: 1\nmodel name\t: other\n");
    const std::string arm = file("arm", "processor\t: 0\nBogoMIPS\t: 38.40\n\nHardware\t: BCM2835\nModel\t: Pi\n");
    const std::string model = file("model", std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31));
    EXPECT_EQ("AMD EPYC 7B13", probe({}, x86, missing)->ProcessorName());
    EXPECT_EQ("Raspberry Pi 4 Model B Rev 1.4", probe({}, arm, model)->ChipName());
    EXPECT_EQ("BCM2835", probe({}, arm, missing)->ChipName());
}

TEST(LinuxHostProbe, HardwareUuidIsStableAndNeverTheRawMachineId)
{
    const std::optional<std::string> uuid = platform::MakeLinuxHostProbe({})->HardwareUUID();
    const std::string machineId = ReadFileText("/etc/machine-id");
    ASSERT_EQ(machineId.empty(), !uuid);
    if (!uuid) {
        return;
    }
    EXPECT_TRUE(std::regex_match(*uuid, std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"))) << *uuid;
    EXPECT_EQ(uuid, platform::MakeSystemHostProbe()->HardwareUUID());
    std::string plain = std::regex_replace(*uuid, std::regex("-"), "");
    std::transform(plain.begin(), plain.end(), plain.begin(), ::tolower);
    EXPECT_EQ(std::string::npos, machineId.find(plain));
}

} // namespace
