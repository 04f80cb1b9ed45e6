// The application delegate: confirm, remove, check, report and restart, in one pass.
#pragma once

#include <cstdint>
#include <string>

#include "platform.h"

namespace uninstaller {

class AppController {
public:
    // init
    explicit AppController(const Platform& platform);
    // dealloc
    ~AppController();
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    void awakeFromNib();
    // The whole launch flow; ends by terminating the application.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    bool applicationShouldTerminateAfterLastWindowClosed();

    // 0 when done, else a result code (9, 21, 22, 24 or the script's own).
    int32_t runUninstall();
    // Removes the login items whose display name contains "tidewelld". Always 0.
    int32_t deleteLauncher();
    // Runs the bundle's removal script, after the removal with rights where that is
    // needed: 0, 21, 22, the script's result, 9 when the rights were refused (the script
    // does not run) or 25 when that removal failed and the script gave 0. The error alert
    // then shows the command that an administrator can run instead, where there is one.
    int32_t doUninstall();
    // Whether `moduleName` exists in the folder `path`; false when either is null.
    bool checkInstalledModuleWithPath(const char* path, const char* moduleName);
    // 24 while the downloader's bundle is still installed, else 0.
    int32_t checkInstalledModules();
    void disableRelaunchOnLogin();
    void requestSystemRestart();

private:
    Platform platform_;
    std::string byHand_;  // the command left to an administrator; empty when none
};

} // namespace uninstaller
