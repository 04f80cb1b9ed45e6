// Stand-ins for the uninstaller's platform pieces, and a bundle built in a temporary folder.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform.h"
#include "test_home.h"
#include "xdg_autostart.h"

namespace uninstaller_test {

using namespace uninstaller;

// Answers alerts from a queue (the first button when it runs dry) and keeps what it showed.
class FakeAlerts : public Alerts {
public:
    std::deque<int> answers;
    std::vector<Alert> shown;
    int runModal(const Alert& alert) override;
};

class FakeScript : public Script {
public:
    FakeScript(std::optional<int32_t> result, std::optional<std::string> error)
        : result_(result), error_(std::move(error)) {}
    std::optional<ScriptResult> execute(std::optional<std::string>& error) override;

private:
    std::optional<int32_t> result_;
    std::optional<std::string> error_;
};

class FakeScriptRunner : public ScriptRunner {
public:
    std::optional<std::string> loadError;
    std::optional<int32_t> result;
    std::optional<std::string> runError;
    std::vector<std::string> loaded;
    std::unique_ptr<Script> load(const std::string& path, std::optional<std::string>& error) override;
};

class FakeRestart : public SystemRestart {
public:
    Outcome outcome = Outcome::kSent;
    int requests = 0;
    Outcome request(int& error) override;
};

class FakeApplication : public Application {
public:
    int terminations = 0;
    void terminate(AppController&) override { ++terminations; }
};

// Stand-ins for a controller; a test may put a real script runner or restart in their place.
// Login items are the real ones: only deleteLauncher lists them.
struct StandIns {
    FakeAlerts alerts;
    FakeScriptRunner scripts;
    FakeRestart restart;
    XdgAutostart loginItems;
    FakeApplication application;

    Platform platform(ScriptRunner* realScripts = nullptr, SystemRestart* realRestart = nullptr)
    {
        return {alerts, realScripts != nullptr ? *realScripts : scripts,
                realRestart != nullptr ? *realRestart : restart, loginItems, application};
    }
};

using Strings = std::map<std::string, std::string>;

// "<tmp>/Test.app" with development language "en", one strings table per language, and
// the removal script when one is given. It becomes the main bundle for its lifetime.
class TestBundle {
public:
    explicit TestBundle(const std::map<std::string, Strings>& tables, const std::optional<std::string>& script = {});
    ~TestBundle();
    TestBundle(const TestBundle&) = delete;
    TestBundle& operator=(const TestBundle&) = delete;
    std::string path() const { return folder_.path() + "/Test.app"; }

private:
    TempDir folder_;
};

// The five keys with "<key>-<language>" as their texts.
Strings AllKeys(const std::string& language);

} // namespace uninstaller_test
