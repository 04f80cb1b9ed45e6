// Sends the uninstaller's restart request once, and only on the private system bus that
// the calling test started and named in TIDEWELL_TEST_SYSTEM_BUS.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app_controller.h"
#include "fakes.h"
#include "logind_restart.h"

int main()
{
    const char* bus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const char* own = std::getenv("TIDEWELL_TEST_SYSTEM_BUS");
    if (bus == nullptr || own == nullptr || *own == '\0' || std::strcmp(bus, own) != 0) {
        std::fprintf(stderr, "restart_probe: refusing to run off the test's private system bus\n");
        return 77;
    }
    using namespace uninstaller_test;
    FakeAlerts alerts;
    FakeScriptRunner scripts;
    LogindRestart restart;
    FakeLoginItems loginItems;
    FakeApplication application;
    AppController({alerts, scripts, restart, loginItems, application}).requestSystemRestart();
    return 0;
}
