#include "app_controller.h"

#include <string>

#include "bundle.h"
#include "oslib/fetchwick_contract.h"
#include "oslib/system_log.h"
#include "oslib/user_folders.h"
#include "utility.h"

// The entry trace of a method, named as the delegate's selector.
#define TRACE(method) oslib::SystemLog("%s:%d", "-[AppController " method "]", __LINE__)

namespace uninstaller {

namespace {

constexpr const char* kRestartMethod = "-[AppController requestSystemRestart]";

// The script's own numbers, which the removal with rights gives as well.
constexpr int32_t kNothingChanged = 9;
constexpr int32_t kNotRemoved = 25;

std::string Localized(const char* key)
{
    return Utility::getLocalizedString(key, nullptr);
}

} // namespace

AppController::AppController(const Platform& platform) : platform_(platform)
{
    TRACE("init");
}

AppController::~AppController()
{
    TRACE("dealloc");
}

void AppController::awakeFromNib()
{
    TRACE("awakeFromNib");
}

void AppController::applicationDidFinishLaunching()
{
    TRACE("applicationDidFinishLaunching:");
    // Every text before the removal: a package that goes takes the strings tables with it.
    Alert confirm{Localized("NeedsRestart"), "", {Localized("Restart"), Localized("Cancel")}};
    Alert failure{Localized("[ERR]Finish"), "", {Localized("Finish")}};
    const std::string byHandText = Localized("[ERR]RemovePackage");
    if (platform_.alerts.runModal(confirm) == kAlertFirstButtonReturn) {
        int32_t code = runUninstall();
        if (code != 0) {
            failure.informativeText = std::to_string(code) + (byHand_.empty() ? "" : "\n" + byHandText + "\n" + byHand_);
            platform_.alerts.runModal(failure);
        }
        if (code != kNothingChanged) {
            disableRelaunchOnLogin();
            requestSystemRestart();
        }
    }
    platform_.application.terminate(*this);
}

void AppController::applicationWillTerminate()
{
    TRACE("applicationWillTerminate:");
}

bool AppController::applicationShouldTerminateAfterLastWindowClosed()
{
    TRACE("applicationShouldTerminateAfterLastWindowClosed:");
    return false;
}

int32_t AppController::runUninstall()
{
    TRACE("runUninstall");
    int32_t code = doUninstall();
    if (code != 0) {
        return code;
    }
    return checkInstalledModules();
}

int32_t AppController::deleteLauncher()
{
    for (const LoginItem& item : platform_.loginItems.snapshot()) {
        for (const std::string& name : item.displayNames) {
            if (name.find("tidewelld") != std::string::npos) {
                platform_.loginItems.remove(item);
                break;
            }
        }
    }
    return 0;
}

int32_t AppController::doUninstall()
{
    std::optional<std::string> path = MainBundle().pathForResource("Uninstaller", "sh");
    if (!path) {
        return 21;
    }
    int32_t code = 0;
    std::optional<std::string> error;
    std::unique_ptr<Script> script = platform_.scripts.load(*path, error);
    if (script) {
        // Before the script, so that a refused prompt leaves everything as it was.
        PrivilegedRemoval::Outcome rights = platform_.privilegedRemoval.removeDownloader(byHand_);
        if (rights == PrivilegedRemoval::Outcome::kRefused) {
            return kNothingChanged;
        }
        if (std::optional<ScriptResult> result = script->execute(error)) {
            oslib::SystemLog("%s", result->text.c_str());
            code = result->value;
        }
        if (code == 0 && rights == PrivilegedRemoval::Outcome::kFailed) {
            code = kNotRemoved;
        }
    }
    if (error) {
        oslib::SystemLog("%s", error->c_str());
        code = 22;
    }
    return code;
}

bool AppController::checkInstalledModuleWithPath(const char* path, const char* moduleName)
{
    if (path == nullptr || moduleName == nullptr) {
        return false;
    }
    return oslib::PathExists(std::string(path) + "/" + moduleName);
}

int32_t AppController::checkInstalledModules()
{
    TRACE("checkInstalledModules");
    std::string folder = fetchwick::BundleFolder();
    return checkInstalledModuleWithPath(folder.c_str(), fetchwick::kBundleName) ? 24 : 0;
}

void AppController::disableRelaunchOnLogin()
{
    TRACE("disableRelaunchOnLogin");
    // Sessions here have no relaunch-at-login control to switch off.
    oslib::SystemLog("Can't run disableRelaunchOnLogin");
}

void AppController::requestSystemRestart()
{
    RestartError error;
    switch (platform_.restart.request(error)) {
    case SystemRestart::Outcome::kSent:
        break;
    case SystemRestart::Outcome::kNoConnection:
        oslib::SystemLog("%s:%d, Failed to create descriptor", kRestartMethod, __LINE__);
        break;
    case SystemRestart::Outcome::kNoMessage:
        oslib::SystemLog("%s:%d, Failed to create AppleEvent", kRestartMethod, __LINE__);
        break;
    case SystemRestart::Outcome::kSendFailed: {
        std::string reply = error.name.empty() ? "" : " (" + error.name + ": " + error.message + ")";
        oslib::SystemLog("%s:%d, Failed to send AppleEvent, err = %d%s", kRestartMethod, __LINE__, error.result,
                         reply.c_str());
        break;
    }
    }
}

} // namespace uninstaller
