// The real restart request when the system bus cannot be reached, and the trace format.
#include <gtest/gtest.h>

#include <regex>

#include "app_controller.h"
#include "fakes.h"
#include "logind_restart.h"

using namespace uninstaller_test;

namespace {

TEST(Restart, UnreachableBusIsReportedAsNoDescriptor)
{
    TempDir folder;
    std::string address = "unix:path=" + folder.path() + "/no-bus";
    ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", address.c_str());
    FakeAlerts alerts;
    FakeScriptRunner scripts;
    LogindRestart restart;
    FakeLoginItems loginItems;
    FakeApplication application;

    testing::internal::CaptureStderr();
    AppController(Platform{alerts, scripts, restart, loginItems, application}).requestSystemRestart();
    std::string log = testing::internal::GetCapturedStderr();

    // "<date> <time> name[pid] -[AppController method]:line"
    const std::regex trace(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \S+\[\d+\] -\[AppController init\]:\d+\n)");
    EXPECT_TRUE(std::regex_search(log, trace)) << log;
    EXPECT_NE(log.find("] -[AppController requestSystemRestart]:"), std::string::npos) << log;
    EXPECT_NE(log.find(", Failed to create descriptor\n"), std::string::npos) << log;
}

} // namespace
