// The real restart request when the system bus cannot be reached, and the trace format.
#include <gtest/gtest.h>

#include <regex.h>

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
    StandIns standIns;
    LogindRestart restart;

    testing::internal::CaptureStderr();
    AppController(standIns.platform(nullptr, &restart)).requestSystemRestart();
    std::string log = testing::internal::GetCapturedStderr();

    // "<date> <time> name[pid] -[AppController method]:line"
    regex_t trace;
    ASSERT_EQ(regcomp(&trace,
                      "^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} [^ ]+\\[[0-9]+\\] "
                      "-\\[AppController init\\]:[0-9]+$",
                      REG_EXTENDED | REG_NOSUB | REG_NEWLINE),
              0);
    EXPECT_EQ(regexec(&trace, log.c_str(), 0, nullptr, 0), 0) << log;
    regfree(&trace);
    EXPECT_NE(log.find("] -[AppController requestSystemRestart]:"), std::string::npos) << log;
    EXPECT_NE(log.find(", Failed to create descriptor\n"), std::string::npos) << log;
}

} // namespace
