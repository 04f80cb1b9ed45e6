// The launch flow with stand-ins for the dialogs, the script and the restart.
#include <cstdio>
#include <gtest/gtest.h>

#include "app_controller.h"
#include "fakes.h"

using namespace uninstaller_test;

namespace {

class LaunchFlow : public ::testing::Test {
protected:
    LaunchFlow() : bundle_({{"en", AllKeys("en")}}, "echo 0\n") {}

    // Runs the flow and returns what it logged.
    std::string launch()
    {
        testing::internal::CaptureStderr();
        {
            AppController controller(standIns_.platform());
            controller.applicationDidFinishLaunching();
        }
        return testing::internal::GetCapturedStderr();
    }

    void installDownloader() { MakeFolders(applications_.path() + "/Quenlar/Tidewell/Fetchwick.app/Contents"); }

    StandIns standIns_;
    FakeAlerts& alerts = standIns_.alerts;
    FakeScriptRunner& scripts = standIns_.scripts;
    FakeRestart& restart = standIns_.restart;
    FakeApplication& application = standIns_.application;
    TestBundle bundle_;

private:
    TempDir applications_;
    ScopedEnv applicationsEnv_{"TIDEWELL_APPLICATIONS_DIR", applications_.path().c_str()};
};

TEST_F(LaunchFlow, AnythingButTheFirstButtonQuitsWithoutTouchingTheSystem)
{
    for (int answer : {kAlertFirstButtonReturn + 1, -4}) {
        alerts.answers = {answer};
        launch();
    }
    ASSERT_EQ(alerts.shown.size(), 2u);
    EXPECT_EQ(alerts.shown[0].messageText, "NeedsRestart-en");
    EXPECT_EQ(alerts.shown[0].buttons, (std::vector<std::string>{"Restart-en", "Cancel-en"}));
    EXPECT_TRUE(scripts.loaded.empty());
    EXPECT_EQ(restart.requests, 0);
    EXPECT_EQ(application.terminations, 2);
}

TEST_F(LaunchFlow, DoneWithoutAlertThenRestart)
{
    scripts.result = 0;
    std::string log = launch();
    EXPECT_EQ(alerts.shown.size(), 1u);
    ASSERT_EQ(scripts.loaded.size(), 1u);
    EXPECT_NE(scripts.loaded[0].find("/Test.app/Contents/Resources/Uninstaller.sh"), std::string::npos);
    EXPECT_NE(log.find("Can't run disableRelaunchOnLogin"), std::string::npos);
    EXPECT_NE(log.find("-[AppController runUninstall]:"), std::string::npos);
    EXPECT_EQ(restart.requests, 1);
    EXPECT_EQ(application.terminations, 1);
}

struct Failure {
    const char* name;
    std::optional<std::string> loadError;
    std::optional<int32_t> result;
    std::optional<std::string> runError;
    bool downloaderLeft;
    const char* shown;
    int restarts;
};

void PrintTo(const Failure& failure, std::ostream* out)
{
    *out << failure.name;
}

class LaunchFlowFailure : public LaunchFlow, public ::testing::WithParamInterface<Failure> {};

TEST_P(LaunchFlowFailure, ShowsTheNumberThenRestartsUnlessNine)
{
    const Failure& failure = GetParam();
    scripts.loadError = failure.loadError;
    scripts.result = failure.result;
    scripts.runError = failure.runError;
    if (failure.downloaderLeft) {
        installDownloader();
    }
    std::string log = launch();
    ASSERT_EQ(alerts.shown.size(), 2u);
    EXPECT_EQ(alerts.shown[1].messageText, "[ERR]Finish-en");
    EXPECT_EQ(alerts.shown[1].informativeText, failure.shown);
    EXPECT_EQ(alerts.shown[1].buttons, std::vector<std::string>{"Finish-en"});
    EXPECT_EQ(restart.requests, failure.restarts);
    EXPECT_EQ(application.terminations, 1);
    for (const auto& error : {failure.loadError, failure.runError}) {
        if (error) {
            EXPECT_NE(log.find(*error), std::string::npos) << "errors are logged";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LaunchFlowFailure,
    ::testing::Values(Failure{"Nine", {}, 9, {}, true, "9", 0},
                      Failure{"DownloaderLeft", {}, 0, {}, true, "24", 1},
                      Failure{"ScriptsOwnNumber", {}, -3, {}, false, "-3", 1},
                      Failure{"LoadError", "bad syntax", {}, {}, false, "22", 1},
                      Failure{"RunErrorWinsOverNine", {}, 9, "exit status 1", false, "22", 1}),
    [](const ::testing::TestParamInfo<Failure>& info) { return info.param.name; });

TEST_F(LaunchFlow, NoScriptResourceIs21ThenRestart)
{
    std::remove((bundle_.path() + "/Contents/Resources/Uninstaller.sh").c_str());
    launch();
    ASSERT_EQ(alerts.shown.size(), 2u);
    EXPECT_EQ(alerts.shown[1].informativeText, "21");
    EXPECT_TRUE(scripts.loaded.empty());
    EXPECT_EQ(restart.requests, 1);
}

TEST_F(LaunchFlow, RestartFailuresAreLoggedAndTheApplicationStillEnds)
{
    const std::pair<SystemRestart::Outcome, const char*> cases[] = {
        {SystemRestart::Outcome::kNoConnection, ", Failed to create descriptor"},
        {SystemRestart::Outcome::kNoMessage, ", Failed to create AppleEvent"},
        {SystemRestart::Outcome::kSendFailed, ", Failed to send AppleEvent, err = -5"},
    };
    for (const auto& [outcome, message] : cases) {
        restart.outcome = outcome;
        std::string log = launch();
        EXPECT_NE(log.find("-[AppController requestSystemRestart]:"), std::string::npos);
        EXPECT_NE(log.find(message), std::string::npos) << log;
    }
    EXPECT_EQ(application.terminations, 3);
}

} // namespace
