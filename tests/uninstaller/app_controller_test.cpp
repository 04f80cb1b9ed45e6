// The application delegate over real removal scripts run by /bin/sh, with stand-ins for the
// dialogs, the restart and the application's end; the strings table the locale chooses.
#include <csignal>
#include <regex>
#include <set>

#include "app_controller.h"
#include "bundle.h"
#include "logind_restart.h"
#include "shell_script.h"
#include "test_home.h"
#include "utility.h"
#include "xdg_autostart.h"

using namespace uninstaller;
namespace fs = std::filesystem;

namespace {

using Outcome = SystemRestart::Outcome;
using Rights = PrivilegedRemoval::Outcome;

// The main bundle holds `script` as its removal script (none when null) and no strings tables, so that
// alerts show their keys; the applications folder is empty, the home holds no login items; no system
// bus. Every alert gets its first button: a cancelled confirmation and the refusals of rights and
// restart run for real in the tests of the installed program.
struct Flow : Alerts, PrivilegedRemoval, SystemRestart, Application {
    TempDir bundle, applications;
    ScopedConfiguration configured{[this](oslib::Configuration& c) {
        c.applicationsFolder = applications.path();
        c.home = bundle.path();
    }};
    ScopedEnv ran{"RAN", bundle.path() + "/ran"}, noBus{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + bundle.path() + "/no-bus"};
    ShellScriptRunner scripts;
    XdgAutostart loginItems;
    std::string shown;  // each alert as "text(informative)[button]...;"
    SystemRestart::Outcome outcome = SystemRestart::Outcome::kSent;
    int restarts = 0;
    Rights rights = Rights::kNotNeeded;

    explicit Flow(const char* script = nullptr)
    {
        MakeFolders(bundle.path() + "/Contents/Resources");
        if (script != nullptr) {
            WriteFileText(bundle.path() + "/Contents/Resources/Uninstaller.sh", script);
        }
        SetMainBundle(Bundle(bundle.path()));
    }
    int runModal(const Alert& alert) override
    {
        shown += alert.messageText + "(" + alert.informativeText + ")";
        for (const std::string& button : alert.buttons) {
            shown += "[" + button + "]";
        }
        shown += ";";
        return kAlertFirstButtonReturn;
    }
    Rights removeDownloader(std::string& byHand) override
    {
        byHand = rights == Rights::kFailed ? "sudo apt remove tidewell" : "";
        return rights;
    }
    SystemRestart::Outcome request(RestartError&) override
    {
        ++restarts;
        return outcome;
    }
    void terminate(AppController& sender) override { sender.applicationWillTerminate(); }  // as the application does
    // Runs the launch flow and returns what it logged.
    std::string launch(SystemRestart* restart = nullptr)
    {
        testing::internal::CaptureStderr();
        AppController({*this, scripts, *this, restart != nullptr ? *restart : *this, loginItems, *this})
            .applicationDidFinishLaunching();
        return testing::internal::GetCapturedStderr();
    }
};

// The flow restarts unless the script says 9. `script` null: the bundle holds none; `shown`: the number in
// the error alert, null: no error alert.
struct Case {
    const char *name, *script, *shown, *logged;
    Outcome outcome = Outcome::kSent;
    bool downloaderLeft = false;
    Rights rights = Rights::kNotNeeded;
    bool childrenUnseen = false;  // SIGCHLD ignored: the system reaps the children
};

// A script that runs touches $RAN; none of these may.
const Case kCases[] = {
    {"NineMeansNoRestart", "echo 9\n", "9", "] 9\n"},
    {"DownloaderLeft", "echo 0\n", "24", "-[AppController checkInstalledModules]:", Outcome::kSent, true},
    {"NoOutputIsDoneAndStandardErrorNoResult", ": quiet\necho 3 >&2\n", nullptr, "Can't run disableRelaunchOnLogin"},
    {"OwnNumberOnItsLastLineAndItsPathAsZero",
     "case $0 in */Uninstaller.sh) echo removing; echo ' 25 ' ;; esac\necho\n", "25", ""},
    {"NoScript", nullptr, "21", "-[AppController runUninstall]:"},
    {"SyntaxErrorNeverRuns", "touch \"$RAN\"\nif true; then echo 0\n", "22", "is not valid"},
    {"ExitStatusWinsOverNine", "echo 9\nexit 3\n", "22", "failed: exit status 3"},
    {"KilledBySignal", "echo 0\nkill -KILL $$\n", "22", "killed by signal 9"},
    {"NoNumber", "echo 3 finished\n", "22", "gave no number: 3 finished"},
    {"NumberTooLarge", "echo 2147483648\n", "22", "gave no number"},
    {"NoMessage", "echo 0\n", nullptr, ", Failed to create AppleEvent\n", Outcome::kNoMessage},
    // A failed removal with rights turns the script's 0 into 25, and says what an administrator can do instead.
    {"RightsFailed", "echo 0\n", "25\n[ERR]RemovePackage\nsudo apt remove tidewell", "] 0\n", Outcome::kSent, false,
     Rights::kFailed},
    // A child's status is never guessed.
    {"ReapedUnseen", "echo 0\n", "22", "Cannot wait for /bin/sh: No child processes", Outcome::kSent, false,
     Rights::kNotNeeded, true},
};

TEST(LaunchFlow, ErrorNumbersRestartRequestsAndTheirFailures)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Flow flow(c.script);
        flow.outcome = c.outcome;
        flow.rights = c.rights;
        if (c.downloaderLeft) {
            MakeFolders(flow.applications.path() + "/Quenlar/Tidewell/Fetchwick.app/Contents");
        }
        const sighandler_t saved = signal(SIGCHLD, c.childrenUnseen ? SIG_IGN : SIG_DFL);
        std::string log = flow.launch();
        signal(SIGCHLD, saved);
        EXPECT_EQ(flow.shown, "NeedsRestart()[Restart][Cancel];" +
                                  (c.shown != nullptr ? "[ERR]Finish(" + std::string(c.shown) + ")[Finish];" : ""));
        EXPECT_EQ(flow.restarts, c.shown == nullptr || std::string(c.shown) != "9" ? 1 : 0);
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(flow.bundle.path() + "/ran"));
    }
    // The real restart client without a bus.
    LogindRestart logind;
    const std::string log = Flow("echo 0\n").launch(&logind);
    EXPECT_NE(log.find(", Failed to create descriptor\n"), std::string::npos);
    // The delegate's entry traces, in order.
    std::string traced;
    const std::regex trace(R"(-\[AppController (\S+)\]:\d+\n)");
    for (std::sregex_iterator at(log.begin(), log.end(), trace), end; at != end; ++at) {
        traced += (*at)[1].str() + " ";
    }
    EXPECT_EQ(traced, "init applicationDidFinishLaunching: runUninstall checkInstalledModules disableRelaunchOnLogin "
                      "applicationWillTerminate: dealloc ");
}

// Login items go by any of their display names, translated ones too; other sections, keys and files stay.
TEST(LaunchFlow, DeleteLauncherRemovesTheAgentsLoginItemsAlone)
{
    Flow flow;
    const std::string folder = flow.bundle.path() + "/.config/autostart/";
    const std::pair<const char*, const char*> files[] = {
        {"agent.desktop", "\n[Desktop Entry]\n\n Name = Quenlar tidewelld agent\n"},
        {"translated.desktop", "[Desktop Entry]\nName=Agent\nName[de]=tidewelld Dienst\n"},
        {"other-section.desktop", "[Desktop Action x]\nName=tidewelld\n[Desktop Entry]\nName=Other\n"},
        {"other-key.desktop", "[Desktop Entry]\nGenericName=tidewelld\nName[de=tidewelld\nName=Other\n"},
        {"not-an-entry.txt", "[Desktop Entry]\nName=tidewelld\n"},
    };
    for (const auto& [name, text] : files) {
        WriteFileText(folder + name, text);
    }
    EXPECT_EQ(0, AppController({flow, flow.scripts, flow, flow, flow.loginItems, flow}).deleteLauncher());
    std::set<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        left.insert(entry.path().filename());
    }
    EXPECT_EQ(left, (std::set<std::string>{"not-an-entry.txt", "other-key.desktop", "other-section.desktop"}));
}

TEST(Languages, UserLanguagesThenDevelopmentLanguageThenKey)
{
    TempDir bundle;
    const auto plist = [](const std::string& entries) { return "<plist><dict>" + entries + "</dict></plist>\n"; };
    WriteFileText(bundle.path() + "/Contents/Info.plist", plist("<key>CFBundleDevelopmentRegion</key><string>en</string>"));
    // German lacks "Finish".
    for (const std::string language : {"en", "de", "pt_BR", "pt", "es"}) {
        std::string finish = language == "de" ? "" : "<key>Finish</key><string>Finish-" + language + "</string>";
        WriteFileText(bundle.path() + "/Contents/Resources/" + language + ".lproj/Localizable.strings",
                      plist("<key>Restart</key><string>Restart-" + language + "</string>" + finish));
    }
    SetMainBundle(Bundle(bundle.path()));

    // LANGUAGE, LC_ALL, LC_MESSAGES, LANG, the key and its text.
    const struct { const char *language, *all, *messages, *lang, *key, *text; } rows[] = {
        {nullptr, nullptr, nullptr, "de_DE.UTF-8", "Restart", "Restart-de"},
        {nullptr, nullptr, nullptr, "de_DE.UTF-8", "Finish", "Finish-en"},
        {nullptr, nullptr, "es_ES.UTF-8", "de_DE.UTF-8", "Restart", "Restart-es"},
        {nullptr, "pt_BR.UTF-8@euro", "es_ES", "de", "Restart", "Restart-pt_BR"},
        {"ja::pt_PT:de", nullptr, nullptr, "es_ES", "Restart", "Restart-pt"},
        // A C message locale voids LANGUAGE, as in gettext; C.UTF-8 does not.
        {"de", "C", nullptr, "es", "Restart", "Restart-en"},
        {"de", "C.UTF-8", nullptr, nullptr, "Restart", "Restart-de"},
    };
    for (const auto& row : rows) {
        ScopedEnv language("LANGUAGE", row.language), all("LC_ALL", row.all), messages("LC_MESSAGES", row.messages),
            lang("LANG", row.lang);
        ScopedConfiguration read([](oslib::Configuration& c) { c = oslib::ReadConfiguration(); });
        EXPECT_EQ(Utility::getLocalizedString(row.key, nullptr), row.text) << "row " << &row - rows;
    }
    EXPECT_EQ(Utility::getLocalizedString("Unknown", nullptr), "Unknown");
    EXPECT_EQ(Utility::getLocalizedString("Unknown", "note"), "note");
}

} // namespace
