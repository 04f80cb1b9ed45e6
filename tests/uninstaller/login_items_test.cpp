// deleteLauncher over real XDG autostart entries in a temporary HOME.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app_controller.h"
#include "fakes.h"

using namespace uninstaller_test;

namespace {

std::vector<std::string> Remaining(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

int32_t DeleteLauncher()
{
    StandIns standIns;
    return AppController(standIns.platform()).deleteLauncher();
}

TEST(DeleteLauncher, RemovesEntriesWhoseDisplayNameContainsTidewelld)
{
    TempHome home;
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    std::string folder = home.file(".config/autostart");
    WriteFileText(folder + "/agent.desktop", "[Desktop Entry]\nType=Application\nName=tidewelld\n");
    WriteFileText(folder + "/longer.desktop", "[Desktop Entry]\nName = Quenlar tidewelld helper\n");
    WriteFileText(folder + "/translated.desktop", "[Desktop Entry]\nName=Helper\nName[de]=tidewelld-Hilfe\n");
    WriteFileText(folder + "/capitals.desktop", "[Desktop Entry]\nName=TIDEWELLD\n");
    WriteFileText(folder + "/comment.desktop", "[Desktop Entry]\nName=Mixer\nComment=starts tidewelld\n");
    WriteFileText(folder + "/action.desktop", "[Desktop Entry]\nName=Mixer\n[Desktop Action x]\nName=tidewelld\n");
    WriteFileText(folder + "/tidewelld-file.desktop", "[Desktop Entry]\nName=Other\n");
    WriteFileText(folder + "/notes.txt", "[Desktop Entry]\nName=tidewelld\n");

    EXPECT_EQ(DeleteLauncher(), 0);
    EXPECT_EQ(Remaining(folder), (std::vector<std::string>{"action.desktop", "capitals.desktop", "comment.desktop",
                                                           "notes.txt", "tidewelld-file.desktop"}));
}

TEST(DeleteLauncher, FollowsAnAbsoluteXdgConfigHomeOnly)
{
    TempHome home;
    TempDir config;
    const std::string entry = "/autostart/agent.desktop";
    WriteFileText(config.path() + entry, "[Desktop Entry]\nName=tidewelld\n");
    WriteFileText(home.file(".config") + entry, "[Desktop Entry]\nName=tidewelld\n");
    {
        ScopedEnv absolute("XDG_CONFIG_HOME", config.path().c_str());
        EXPECT_EQ(DeleteLauncher(), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(config.path() + entry));
    EXPECT_TRUE(std::filesystem::exists(home.file(".config") + entry));
    {
        ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(DeleteLauncher(), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(home.file(".config") + entry));
}

} // namespace
