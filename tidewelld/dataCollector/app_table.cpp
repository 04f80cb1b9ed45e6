// The watched-application table: the seven DJ applications and, per connected device, whether
// each runs. Main thread only.
#include "dataCollector/app_table.h"

#include "platform/backends.h"

AppExecStatus _appStatus[kWatchedApps] = {
    {"Serato DJ Pro.app", "Serato DJ Pro", "Serato DJ Pro", "SDJP", {}, {}},
    {"Serato DJ Lite.app", "Serato DJ Lite", "Serato DJ Lite", "SDJL", {}, {}},
    {"Traktor.app", "Traktor", "Traktor", "Traktor", {}, {}},
    {"djay Pro.*", "djay Pro.*", "djay Pro", "djayPro", {}, {}},
    {"VirtualDJ.app", "VirtualDJ", "VirtualDJ", "VirtualDJ", {}, {}},
    {"spindrel.app", "spindrel$", "spindrel", "spindrel", {}, {}},
    {"Ableton.*.app", "Live", "Ableton Live", "AbletonLive", {}, {}},
};

namespace {

void SetAllStates(std::map<uint64_t, int8_t>& states, int8_t state)
{
    for (auto& entry : states) {
        entry.second = state;
    }
}

} // namespace

void searchProcess(AppExecStatus (&table)[kWatchedApps])
{
    for (AppExecStatus& row : table) {
        SetAllStates(row.execStatus, 0);
    }
    // One look at the processes serves every row.
    std::unique_ptr<platform::ProcessSnapshot> processes = platform::Installed().takeProcessSnapshot();
    for (AppExecStatus& row : table) {
        // No row's fragments hold an alternative or a group: every match holds the folder's
        // text, which no line's pid, terminal, state or time does.
        std::optional<std::string> line =
            processes->FirstMatch(row.bundleName + "/Contents/MacOS/" + row.execName, "/Contents/MacOS/");
        // Only the first matching line counts; a search pipeline's own line never does.
        if (line && line->find(row.displayName) != std::string::npos && line->find("| grep") == std::string::npos) {
            SetAllStates(row.execStatus, 1);
        }
    }
}

void copyAPStatus(AppExecStatus (&destination)[kWatchedApps])
{
    for (int i = 0; i < kWatchedApps; ++i) {
        const AppExecStatus& source = _appStatus[i];
        AppExecStatus& row = destination[i];
        row.bundleName = source.bundleName;
        row.execName = source.execName;
        row.displayName = source.displayName;
        row.appCode = source.appCode;
        for (const auto& entry : source.execStatus) {
            row.execStatus[entry.first] = 0;
            row.lastExecStatus[entry.first] = 0;
        }
    }
}
