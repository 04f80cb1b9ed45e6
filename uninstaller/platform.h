// The operating-system pieces of the uninstaller, each behind a small interface so that
// the launch flow runs with stand-ins in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace uninstaller {

class AppController;

// A modal alert; the answer of its first button is kAlertFirstButtonReturn, the next
// button's one more.
struct Alert {
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons;
};
constexpr int kAlertFirstButtonReturn = 1000;

class Alerts {
public:
    virtual ~Alerts() = default;
    // Any other answer than a button's means the alert was closed without one.
    virtual int runModal(const Alert& alert) = 0;
};

// What a removal script gave: its result as printed, and the number that is.
struct ScriptResult {
    std::string text;
    int32_t value = 0;
};

// A loaded removal script.
class Script {
public:
    virtual ~Script() = default;
    // Runs it to its end: its result, nullopt when it gave none; `error` is set when the
    // run failed or its result is no number.
    virtual std::optional<ScriptResult> execute(std::optional<std::string>& error) = 0;
};

class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    // Null with `error` set when the script cannot be read or is not valid.
    virtual std::unique_ptr<Script> load(const std::string& path, std::optional<std::string>& error) = 0;
};

// The one removal that needs an administrator: the downloader's bundle in the applications
// folder fixed at build time, for every user, and its parents where they are left empty.
// Everything else the removal script does as the user. Here polkit grants the rights, to a
// helper of the installation or to the package service when the bundle is the package's; a
// macOS build puts its own authorisation service behind the same interface.
class PrivilegedRemoval {
public:
    enum class Outcome { kNotNeeded, kRemoved, kRefused, kFailed };
    virtual ~PrivilegedRemoval() = default;
    // Asks once, and only when there is something that the user cannot remove alone (else
    // kNotNeeded). kRefused: the prompt was dismissed or the administrator said no, and
    // nothing changed. kFailed: no one could be asked, or the removal refused or failed; the
    // reason is logged, and `byHand` holds the command an administrator can run instead where
    // there is one.
    virtual Outcome removeDownloader(std::string& byHand) = 0;
};

// Why a restart request failed: the failing call's result and, when the system answered
// with an error, that error's name and message.
struct RestartError {
    int result = 0;
    std::string name;
    std::string message;
};

class SystemRestart {
public:
    enum class Outcome { kSent, kNoConnection, kNoMessage, kSendFailed };
    virtual ~SystemRestart() = default;
    // Asks the system to restart and waits for its answer. On kSendFailed `error` says why.
    virtual Outcome request(RestartError& error) = 0;
};

// One entry that starts a program at login.
struct LoginItem {
    std::string id;
    std::vector<std::string> displayNames;  // the name and its translations
};

class LoginItems {
public:
    virtual ~LoginItems() = default;
    virtual std::vector<LoginItem> snapshot() = 0;
    virtual void remove(const LoginItem& item) = 0;
};

class Application {
public:
    virtual ~Application() = default;
    // Ends the application: tells the delegate, then quits.
    virtual void terminate(AppController& sender) = 0;
};

struct Platform {
    Alerts& alerts;
    ScriptRunner& scripts;
    PrivilegedRemoval& privilegedRemoval;
    SystemRestart& restart;
    LoginItems& loginItems;
    Application& application;
};

} // namespace uninstaller
