// tidewell: what the agent knows, for users, support and scripts.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "main/main.h"
#include "oslib/configuration.h"
#include "oslib/log.h"
#include "oslib/user_folders.h"
#include "platform/stop_request.h"
#include "report.h"

namespace {

struct Command {
    const char* name;
    Report (*run)();
    void (*print)(const picojson::object&);
    bool writesLists;
};

constexpr Command kCommands[] = {
    {"status", StatusReport, PrintStatus, false},
    {"devices", DevicesReport, PrintDevices, false},
    {"updates", UpdatesReport, PrintUpdates, false},
    {"refresh", RefreshReport, PrintRefresh, true},
};

constexpr const char* kUsage = "Usage: tidewell [--json] status|devices|updates|refresh";

// An interrupt becomes the stop request that the agent's transfers and USB requests heed:
// a download ends without touching its list, and no temporary file stays behind.
void RequestStop(int) { kill(getpid(), SIGTERM); }

void TakeStopRequests()
{
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    const Command* command = nullptr;
    bool json = false;
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const Command* named = nullptr;
        for (const Command& candidate : kCommands) {
            if (argument == candidate.name) {
                named = &candidate;
            }
        }
        if (argument == "--json") {
            json = true;
        } else if (argument == "--help") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else if (named != nullptr && command == nullptr) {
            command = named;
        } else {
            std::fprintf(stderr, "%s\n", kUsage);
            return kExitUsage;
        }
    }
    if (help) {
        std::printf("%s\n"
                    "Shows what the Tidewell agent knows: whether it runs and how old its lists are (status),\n"
                    "the Quenlar devices connected now and their updates (devices), the updates handed to the\n"
                    "downloader (updates); refresh downloads both lists now. --json writes one JSON document.\n"
                    "See the manual page tidewell(1).\n",
                    kUsage);
        return kExitDone;
    }
    if (version) {
        std::puts("tidewell " TIDEWELL_VERSION);
        return kExitDone;
    }
    if (command == nullptr) {
        std::fprintf(stderr, "%s\n", kUsage);
        return kExitUsage;
    }

    TakeStopRequests();
    // The agent's code logs as it works; its log file and its lines are the agent's own, so
    // no level is written here.
    debugLevel = 6;
    oslib::InstallConfiguration(oslib::ReadConfiguration());
    // The agent's files are reached as the agent reaches them: planted folders are not trusted.
    const oslib::UserFolders folders(command->writesLists);
    BuildListPaths();
    Report report = command->run();
    if (json) {
        std::fputs(picojson::value(report.document).serialize(true).c_str(), stdout);
    } else {
        command->print(report.document);
    }
    if (platform::StopRequested()) {
        std::fputs("tidewell: interrupted\n", stderr);
        return kExitFailed;
    }
    return report.status;
}
