// tidewell status: whether an agent runs for this user, and the state of both lists.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "main/list_files.h"
#include "main/main.h"
#include "oslib/log.h"
#include "oslib/user_folders.h"
#include "oslib/whole_file.h"
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
// that succeeded.
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

// The agent records its downloads in its log alone: the last pass over both lists there
// ("CollectVariousList Result fw=F pl=P", 0 done), with the reasons of its failed lists
// ("List download from HOST failed: WHY") since the pass before. Null when the log, started
// afresh past its cap, holds none.
picojson::value LastDownload()
{
    std::string log;
    const std::string result = "CollectVariousList Result fw=";
    size_t at = std::string::npos;
    if (!oslib::ReadRegularFile(LogFilePath(), log, kLogCap + 4096) || (at = log.rfind(result)) == std::string::npos) {
        return picojson::value();
    }
    int firmware = 1;
    int target = 1;
    std::sscanf(log.c_str() + at + result.size(), "%d pl=%d", &firmware, &target);
    const size_t line = log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at) + 1;
    const size_t previous = line == 0 ? std::string::npos : log.rfind(result, line - 1);
    picojson::array failures;
    const std::string failed = "List download from ";
    for (size_t from = previous == std::string::npos ? 0 : previous; (from = log.find(failed, from)) < line;) {
        const size_t end = log.find('\n', from);
        failures.emplace_back(log.substr(from, end - from));
        from = end;
    }
    // The line starts with its date: "[yyyy/MM/dd HH:mm:ss]".
    return picojson::value(picojson::object{{"logged", picojson::value(log.substr(line + 1, 19))},
                                            {"firmware_list", picojson::value(firmware == 0)},
                                            {"target_list", picojson::value(target == 0)},
                                            {"failures", picojson::value(failures)}});
}

} // namespace

Report StatusReport()
{
    Report report;
    report.document["agent"] = picojson::value(AgentState());
    report.document["last_download"] = LastDownload();
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
    const picojson::value& last = document.at("last_download");
    if (last.is<picojson::null>()) {
        PrintLine("last download: not in the agent's log");
        return;
    }
    const bool done = last.get("firmware_list").get<bool>() && last.get("target_list").get<bool>();
    PrintLine("last download (" + Shown(last.get("logged")) + "): " + (done ? "both lists downloaded" : "failed"));
    for (const picojson::value& failure : last.get("failures").get<picojson::array>()) {
        PrintLine("  " + Shown(failure));
    }
}
