#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

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

// The machine's identifier keyed with the product's own application id, never the raw one:
// the known answer of systemd's own derivation, upper-case.
TEST(LinuxHostProbe, HardwareUuidIsTheMachineIdDerivedForThisApplication)
{
    std::unique_ptr<FILE, int (*)(FILE*)> known(
        popen("systemd-id128 machine-id --uuid --app-specific=8e47e060ce6e43bc88cf8321d7ea515e 2>/dev/null", "r"),
        pclose);
    char text[64] = {};
    if (!known || !std::fgets(text, sizeof text, known.get())) {  // no machine id here
        EXPECT_EQ(std::nullopt, platform::MakeSystemHostProbe()->HardwareUUID());
        return;
    }
    std::string expected(text, std::strcspn(text, "\n"));
    std::transform(expected.begin(), expected.end(), expected.begin(), ::toupper);
    EXPECT_EQ(expected, platform::MakeSystemHostProbe()->HardwareUUID());
}

} // namespace
