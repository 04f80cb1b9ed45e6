// tidewell status: whether an agent runs for this user, and the state of both lists.
#include <cstring>
#include <ctime>

#include "main/list_files.h"
#include "main/main.h"
#include "oslib/user_folders.h"
#include "platform/agent_lock.h"
#include "report.h"

namespace {

picojson::object AgentState()
{
    platform::AgentLock lock = platform::ProbeAgentLock(oslib::SupportFolder() + platform::kAgentLockFile);
    picojson::object agent{{"running", picojson::value()}, {"pid", picojson::value()}};
    switch (lock.state) {
    case platform::AgentLock::State::kHeldElsewhere:
        agent["running"] = picojson::value(true);
        // No id yet only in the instant between the agent's lock and its write.
        if (lock.holder > 0) {
            agent["pid"] = picojson::value(static_cast<double>(lock.holder));
        }
        break;
    case platform::AgentLock::State::kUnavailable:
        agent["error"] = picojson::value(std::string(platform::kAgentLockFile) + ": " + std::strerror(lock.error));
        break;
    default:
        agent["running"] = picojson::value(false);
    }
    return agent;
}

// The list is replaced only by a complete download, so its date is that of the last one
// that succeeded; the agent keeps no record of failed ones.
picojson::object ListState(const std::string& path)
{
    picojson::value modified = ModifiedTime(path);
    picojson::value age;
    if (!modified.is<picojson::null>()) {
        age = picojson::value(std::difftime(std::time(nullptr), static_cast<time_t>(modified.get<double>())));
    }
    return {{"name", picojson::value(FileName(path))},
            {"path", picojson::value(path)},
            {"present", picojson::value(!modified.is<picojson::null>())},
            {"modified", modified},
            {"age_seconds", age},
            {"valid", picojson::value(ValidateFileVersion(path, kListVersion))}};
}

} // namespace

Report StatusReport()
{
    Report report;
    report.document["agent"] = picojson::value(AgentState());
    report.document["lists"] = picojson::value(
        picojson::array{picojson::value(ListState(fwVerInfoTxtPath)), picojson::value(ListState(tarProductIdPath))});
    return report;
}

void PrintStatus(const picojson::object& document)
{
    const picojson::value& agent = document.at("agent");
    const picojson::value& running = agent.get("running");
    if (running.is<picojson::null>()) {
        PrintLine("agent: unknown (" + Shown(agent.get("error")) + ")");
    } else if (running.get<bool>()) {
        PrintLine("agent: running, pid " + Shown(agent.get("pid")));
    } else {
        PrintLine("agent: not running");
    }
    for (const picojson::value& list : document.at("lists").get<picojson::array>()) {
        std::string line = Shown(list.get("name")) + ": ";
        if (!list.get("present").get<bool>()) {
            line += "missing";
        } else {
            line += "downloaded " + DateAndAge(list.get("modified")) +
                    (list.get("valid").get<bool>() ? ", valid" : ", not valid: the agent does not use it");
        }
        PrintLine(line);
    }
}
