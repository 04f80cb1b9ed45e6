#include <csignal>
#include <cstdio>
#include <cstring>

#include "main/agent_loop.h"

namespace {

constexpr const char kUsage[] = "Usage: tidewelld [--version | --help]";

// 2 is the usage status of command-line programs.
constexpr int kUsageStatus = 2;

bool Is(const char* argument, const char* option) { return std::strcmp(argument, option) == 0; }

} // namespace

// The service manager passes no argument. Anything but the two options is refused before
// anything else, so that a mistyped option starts nothing and makes no folder.
int main(int argc, char** argv)
{
    // Ignored by a parent, SIGCHLD survives exec, and every child's status would be lost.
    std::signal(SIGCHLD, SIG_DFL);
    for (int i = 1; i < argc; ++i) {
        if (!Is(argv[i], "--version") && !Is(argv[i], "--help")) {
            std::fprintf(stderr, "%s\n", kUsage);
            return kUsageStatus;
        }
    }
    if (argc > 1 && Is(argv[1], "--version")) {
        std::puts("tidewelld " TIDEWELL_VERSION);
        return 0;
    }
    if (argc > 1) {
        std::printf("%s\n"
                    "The Tidewell agent: keeps Quenlar USB audio hardware on current firmware.\n"
                    "It runs once per user, started by the systemd user unit tidewelld.service.\n"
                    "See the manual page tidewelld(8).\n",
                    kUsage);
        return 0;
    }
    return RunAgent(oslib::ReadConfiguration(), platform::SystemBackends);
}
