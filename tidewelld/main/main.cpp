#include <csignal>
#include <cstdio>
#include <cstring>

#include "main/agent_loop.h"

// The agent takes no options but these two, which start nothing; any other argument is
// ignored, as the service manager gives none.
int main(int argc, char** argv)
{
    // Ignored by a parent, SIGCHLD survives exec, and every child's status would be lost.
    std::signal(SIGCHLD, SIG_DFL);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("tidewelld " TIDEWELL_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::puts("Usage: tidewelld [--version | --help]\n"
                      "The Tidewell agent: keeps Quenlar USB audio hardware on current firmware.\n"
                      "It runs once per user, started by the systemd user unit tidewelld.service.\n"
                      "See the manual page tidewelld(8).");
            return 0;
        }
    }
    return RunAgent(oslib::ReadConfiguration(), platform::SystemBackends());
}
