#include "fakes.h"

#include "bundle.h"

namespace uninstaller_test {

int FakeAlerts::runModal(const Alert& alert)
{
    shown.push_back(alert);
    if (answers.empty()) {
        return kAlertFirstButtonReturn;
    }
    int answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<ScriptResult> FakeScript::execute(std::optional<std::string>& error)
{
    error = error_;
    if (!result_) {
        return std::nullopt;
    }
    return ScriptResult{std::to_string(*result_), *result_};
}

std::unique_ptr<Script> FakeScriptRunner::load(const std::string& path, std::optional<std::string>& error)
{
    loaded.push_back(path);
    if (loadError) {
        error = loadError;
        return nullptr;
    }
    return std::make_unique<FakeScript>(result, runError);
}

SystemRestart::Outcome FakeRestart::request(int& error)
{
    ++requests;
    error = -5;
    return outcome;
}

namespace {

void WritePlist(const std::string& path, const Strings& entries)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    for (const auto& [key, value] : entries) {
        text += "\t<key>" + key + "</key>\n\t<string>" + value + "</string>\n";
    }
    WriteFileText(path, text + "</dict>\n</plist>\n");
}

} // namespace

TestBundle::TestBundle(const std::map<std::string, Strings>& tables, const std::optional<std::string>& script)
{
    std::string contents = path() + "/Contents";
    MakeFolders(contents + "/Resources");
    WritePlist(contents + "/Info.plist", {{"CFBundleDevelopmentRegion", "en"}});
    for (const auto& [language, strings] : tables) {
        MakeFolders(contents + "/Resources/" + language + ".lproj");
        WritePlist(contents + "/Resources/" + language + ".lproj/Localizable.strings", strings);
    }
    if (script) {
        WriteFileText(contents + "/Resources/Uninstaller.sh", *script);
    }
    SetMainBundle(Bundle(path()));
}

TestBundle::~TestBundle()
{
    SetMainBundle(Bundle(folder_.path() + "/gone"));
}

Strings AllKeys(const std::string& language)
{
    Strings strings;
    for (const char* key : {"NeedsRestart", "Restart", "Cancel", "[ERR]Finish", "Finish"}) {
        strings[key] = std::string(key) + "-" + language;
    }
    return strings;
}

} // namespace uninstaller_test
