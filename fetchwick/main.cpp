// Fetchwick, the downloader that the agent starts with a launch mode and the hand-off file:
// it tells the user which updates there are and downloads the packages they choose into
// their download folder. It never opens or runs them; the device vendor's tool installs them.
//
// Exit status: 0 done, or the rows handed to the instance already running; 1 no update to
// offer (the file unreadable, or no row acceptable); 2 usage; 3 no display; 4 no network.
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <gio/gio.h>
#include <gtk/gtk.h>

#include "application.h"
#include "oslib/configuration.h"
#include "oslib/user_folders.h"
#include "updates.h"

namespace {

enum ExitStatus { kUsage = 2, kNoDisplay = 3, kNoNetwork = 4 };

} // namespace

int main(int argc, char** argv)
{
    oslib::InstallConfiguration(oslib::ReadConfiguration());
    fetchwick::Mode mode = fetchwick::Mode::kFirmware;
    if (argc != 3 || !fetchwick::ParseMode(argv[1], mode) || argv[2][0] == '\0') {
        std::fprintf(stderr, "usage: Fetchwick '-f '|'-m ' HAND-OFF-FILE (the mode with its trailing blank)\n");
        return kUsage;
    }
    // The shared preferences are reached as the agent reaches them, never in a planted folder.
    const oslib::UserFolders folders;
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "Fetchwick: no display: it needs a graphical session (DISPLAY or WAYLAND_DISPLAY)\n");
        return kNoDisplay;
    }
    if (!g_network_monitor_get_network_available(g_network_monitor_get_default())) {
        std::fprintf(stderr, "Fetchwick: no network: the updates can be downloaded once the computer is online\n");
        return kNoNetwork;
    }
    // Before any thread: downloads run on threads of their own.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // The notification goes to org.freedesktop.Notifications, the service that the start
    // asks for: a desktop's own notification interface may drop one from an application it
    // has no menu entry of.
    g_setenv(fetchwick::kNotificationBackendVariable, "freedesktop", TRUE);
    gchar* path = g_canonicalize_filename(argv[2], nullptr);
    int status = fetchwick::RunApplication(argv[0], argv[1], path);
    g_free(path);
    curl_global_cleanup();
    return status;
}
