// The uninstaller: asks to confirm, removes Tidewell with its bundle's script and
// restarts the computer.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gtk/gtk.h>

#include "app_controller.h"
#include "bundle.h"
#include "gtk_alerts.h"
#include "logind_restart.h"
#include "oslib/configuration.h"
#include "oslib/system_log.h"
#include "packagekit_removal.h"
#include "pkexec_removal.h"
#include "shell_script.h"
#include "xdg_autostart.h"

namespace {

class QuittingApplication : public uninstaller::Application {
public:
    void terminate(uninstaller::AppController& sender) override
    {
        sender.applicationWillTerminate();
        std::exit(EXIT_SUCCESS);
    }
};

} // namespace

int main(int argc, char** argv)
{
    // Ignored by a parent, SIGCHLD survives exec, and every child's status would be lost.
    std::signal(SIGCHLD, SIG_DFL);
    oslib::InstallConfiguration(oslib::ReadConfiguration());
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "uninstaller: cannot open the display; it needs a graphical session\n");
        return EXIT_FAILURE;
    }
    uninstaller::GtkAlerts alerts(
        uninstaller::MainBundle().infoString("CFBundleName").value_or("Tidewell Uninstaller"));
    uninstaller::ShellScriptRunner scripts;
    uninstaller::PkexecRemoval helperRemoval(TIDEWELL_PKEXEC, TIDEWELL_REMOVAL_HELPER_PATH);
    // The Debian package's name (packaging/).
    uninstaller::PackageKitRemoval privilegedRemoval("tidewell", TIDEWELL_DPKG_DATABASE, helperRemoval);
    uninstaller::LogindRestart restart;
    uninstaller::XdgAutostart loginItems;
    QuittingApplication application;

    uninstaller::AppController controller({alerts, scripts, privilegedRemoval, restart, loginItems, application});
    controller.awakeFromNib();
    controller.applicationDidFinishLaunching();
    return EXIT_SUCCESS;
}
