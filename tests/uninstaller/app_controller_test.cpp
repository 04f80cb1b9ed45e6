// The application delegate over real removal scripts run by /bin/sh and real autostart
// entries, with stand-ins for the dialogs, the restart and the application's end.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <tuple>

#include "app_controller.h"
#include "bundle.h"
#include "logind_restart.h"
#include "platform/plist_file.h"
#include "shell_script.h"
#include "test_home.h"
#include "xdg_autostart.h"

using namespace uninstaller;
namespace fs = std::filesystem;

namespace {

// The main bundle holds `script` as its removal script (none when null) and no strings
// tables, so that alerts show their keys; the applications folder is empty. The first
// alert gets `answer`, the others their first button.
struct Flow : Alerts, SystemRestart, Application {
    TempDir bundle, applications;
    ScopedEnv applicationsEnv{"TIDEWELL_APPLICATIONS_DIR", applications.path()};
    ScopedEnv ran{"RAN", bundle.path() + "/ran"};
    ShellScriptRunner scripts;
    XdgAutostart loginItems;
    int answer = kAlertFirstButtonReturn;
    std::vector<Alert> shown;
    Outcome outcome = Outcome::kSent;
    int restarts = 0, terminations = 0;

    explicit Flow(const char* script = nullptr)
    {
        const std::string resources = bundle.path() + "/Contents/Resources";
        MakeFolders(resources);
        if (script != nullptr) {
            WriteFileText(resources + "/Uninstaller.sh", script);
        }
        SetMainBundle(Bundle(bundle.path()));
    }
    int runModal(const Alert& alert) override
    {
        shown.push_back(alert);
        return shown.size() == 1 ? answer : kAlertFirstButtonReturn;
    }
    Outcome request(int& error) override
    {
        ++restarts;
        error = -5;
        return outcome;
    }
    void terminate(AppController&) override { ++terminations; }
    Platform platform(SystemRestart* restart = nullptr)
    {
        return {*this, scripts, restart != nullptr ? *restart : *this, loginItems, *this};
    }
    // Runs the launch flow and returns what it logged.
    std::string launch(SystemRestart* restart = nullptr)
    {
        testing::internal::CaptureStderr();
        AppController(platform(restart)).applicationDidFinishLaunching();
        return testing::internal::GetCapturedStderr();
    }
};

struct Case {
    const char* name;
    int answer;          // to the confirmation
    const char* script;  // null: the bundle holds none
    bool downloaderLeft;
    const char* shown;   // the number in the error alert; null: no error alert
    bool restart;
    const char* logged;
    SystemRestart::Outcome outcome = SystemRestart::Outcome::kSent;
};

using Outcome = SystemRestart::Outcome;
const int kRestart = kAlertFirstButtonReturn;
// A script that runs touches $RAN; none of these may.
const Case kCases[] = {
    {"Cancel", kRestart + 1, "touch \"$RAN\"\necho 0\n", false, nullptr, false, ""},
    {"ClosedWithoutButton", -4, "touch \"$RAN\"\necho 0\n", false, nullptr, false, ""},
    {"Done", kRestart, "echo 0\n", false, nullptr, true, "Can't run disableRelaunchOnLogin"},
    {"NineMeansNoRestart", kRestart, "echo 9\n", false, "9", false, "] 9\n"},
    {"DownloaderLeft", kRestart, "echo 0\n", true, "24", true, "-[AppController checkInstalledModules]:"},
    {"ScriptsOwnNumberOnItsLastLine", kRestart, "echo removing\necho ' 25 '\necho\n", false, "25", true, ""},
    {"NoOutputIsDoneAndStandardErrorNoResult", kRestart, ": quiet\necho 3 >&2\n", false, nullptr, true, ""},
    {"RunsWithItsPathAsZero", kRestart, "case $0 in */Contents/Resources/Uninstaller.sh) echo 5 ;; esac\n", false,
     "5", true, ""},
    {"NoScript", kRestart, nullptr, false, "21", true, "-[AppController runUninstall]:"},
    {"SyntaxErrorNeverRuns", kRestart, "touch \"$RAN\"\nif true; then echo 0\n", false, "22", true, "is not valid"},
    {"ExitStatusWinsOverNine", kRestart, "echo 9\nexit 3\n", false, "22", true, "failed: exit status 3"},
    {"KilledBySignal", kRestart, "echo 0\nkill -KILL $$\n", false, "22", true, "killed by signal 9"},
    {"NoNumber", kRestart, "echo finished\n", false, "22", true, "gave no number: finished"},
    {"NumberTooLarge", kRestart, "echo 2147483648\n", false, "22", true, "gave no number"},
    {"NoBus", kRestart, "echo 0\n", false, nullptr, true, ", Failed to create descriptor\n", Outcome::kNoConnection},
    {"NoMessage", kRestart, "echo 0\n", false, nullptr, true, ", Failed to create AppleEvent\n", Outcome::kNoMessage},
    {"SendFailed", kRestart, "echo 0\n", false, nullptr, true, ", Failed to send AppleEvent, err = -5\n",
     Outcome::kSendFailed},
};

TEST(LaunchFlow, ErrorNumbersRestartRequestsAndTheirFailures)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Flow flow(c.script);
        flow.answer = c.answer;
        flow.outcome = c.outcome;
        if (c.downloaderLeft) {
            MakeFolders(flow.applications.path() + "/Quenlar/Tidewell/Fetchwick.app/Contents");
        }
        std::string log = flow.launch();

        ASSERT_EQ(flow.shown.size(), c.shown != nullptr ? 2u : 1u);
        EXPECT_EQ(flow.shown[0].messageText, "NeedsRestart");
        EXPECT_EQ(flow.shown[0].buttons, (std::vector<std::string>{"Restart", "Cancel"}));
        if (c.shown != nullptr) {
            EXPECT_EQ(flow.shown[1].messageText, "[ERR]Finish");
            EXPECT_EQ(flow.shown[1].informativeText, c.shown);
            EXPECT_EQ(flow.shown[1].buttons, std::vector<std::string>{"Finish"});
        }
        EXPECT_EQ(flow.restarts, c.restart ? 1 : 0);
        EXPECT_EQ(flow.terminations, 1);
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(flow.bundle.path() + "/ran"));
    }
}

TEST(LaunchFlow, RealRestartWithoutABusIsNoDescriptor)
{
    TempDir folder;
    ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + folder.path() + "/no-bus");
    LogindRestart logind;
    Flow flow("echo 0\n");
    EXPECT_NE(flow.launch(&logind).find(", Failed to create descriptor\n"), std::string::npos);
}

// The keys are those the launch flow's table sees in its alerts.
TEST(ShippedBundle, EveryLanguageHoldsEveryKey)
{
    std::vector<std::string> languages;
    for (const auto& entry : fs::directory_iterator(TIDEWELL_UNINSTALLER_BUNDLE "/Contents/Resources")) {
        if (entry.path().extension() != ".lproj") {
            continue;
        }
        languages.push_back(entry.path().stem());
        platform::PlistPtr table = platform::ReadPlistDictionary(entry.path() / "Localizable.strings");
        for (const char* key : {"NeedsRestart", "Restart", "Cancel", "[ERR]Finish", "Finish"}) {
            std::string text;
            EXPECT_TRUE(platform::PlistDictString(table.get(), key, text)) << languages.back() << " " << key;
        }
    }
    std::optional<std::string> region = Bundle(TIDEWELL_UNINSTALLER_BUNDLE).infoString("CFBundleDevelopmentRegion");
    EXPECT_NE(std::find(languages.begin(), languages.end(), region.value_or("")), languages.end());
}

TEST(DeleteLauncher, RemovesTheAutostartEntriesNamedTidewelldWhereXdgSays)
{
    TempHome home;
    TempDir config;
    const std::tuple<const char*, const char*, bool> entries[] = {
        {"agent.desktop", "Name=tidewelld\n", true},
        {"longer.desktop", "Name = Quenlar tidewelld helper\n", true},
        {"translated.desktop", "Name=Helper\nName[de]=tidewelld-Hilfe\n", true},
        {"capitals.desktop", "Name=TIDEWELLD\n", false},
        {"comment.desktop", "Name=Mixer\nComment=starts tidewelld\n", false},
        {"action.desktop", "Name=Mixer\n[Desktop Action x]\nName=tidewelld\n", false},
        {"notes.txt", "Name=tidewelld\n", false},
    };
    for (const auto& [name, keys, removed] : entries) {
        WriteFileText(config.path() + "/autostart/" + name, std::string("[Desktop Entry]\n") + keys);
    }
    const std::string inHome = home.file(".config/autostart/agent.desktop");
    WriteFileText(inHome, "[Desktop Entry]\nName=tidewelld\n");
    Flow flow;
    for (const char* xdgConfigHome : {config.path().c_str(), "relative/config"}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", xdgConfigHome);
        EXPECT_EQ(AppController(flow.platform()).deleteLauncher(), 0);
        EXPECT_EQ(fs::exists(inHome), xdgConfigHome[0] == '/') << "a relative XDG_CONFIG_HOME is ignored";
    }
    for (const auto& [name, keys, removed] : entries) {
        EXPECT_EQ(fs::exists(config.path() + "/autostart/" + name), !removed) << name;
    }
}

} // namespace
