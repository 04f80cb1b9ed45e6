#include "../process_list.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

namespace platform {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

bool ReadFile(const std::string& path, std::string& contents)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string TerminalName(unsigned long ttyNumber)
{
    unsigned long major = (ttyNumber >> 8) & 0xfff;
    unsigned long minor = (ttyNumber & 0xff) | ((ttyNumber >> 12) & 0xfff00);
    if (major >= 136 && major <= 143) {
        return "pts/" + std::to_string((major - 136) * 256 + minor);
    }
    if (major == 4 && minor < 64) {
        return "tty" + std::to_string(minor);
    }
    return "?";
}

// The arguments joined by blanks; bytes that would break the line become '?', as ps
// shows them. A process without arguments (a kernel thread) shows as "[name]".
std::string CommandLine(std::string arguments, const std::string& name)
{
    arguments.erase(arguments.find_last_not_of('\0') + 1);
    if (arguments.empty()) {
        return "[" + name + "]";
    }
    for (char& c : arguments) {
        if (c == '\0') {
            c = ' ';
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return arguments;
}

// One "ps -ax"-like line for the process, or false when it has gone meanwhile.
bool ProcessLine(long pid, long ticksPerSecond, std::string& line)
{
    std::string base = "/proc/" + std::to_string(pid);
    std::string stat;
    std::string arguments;
    if (!ReadFile(base + "/stat", stat) || !ReadFile(base + "/cmdline", arguments)) {
        return false;
    }
    // The name sits in parentheses and may itself hold blanks and parentheses.
    size_t open = stat.find('(');
    size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return false;
    }
    std::string name = stat.substr(open + 1, close - open - 1);
    std::istringstream fields(stat.substr(close + 1));
    char state = '?';
    long parent = 0, group = 0, session = 0, foreground = 0, nice = 0, threads = 0;
    unsigned long ttyNumber = 0, flags = 0, faults = 0, userTicks = 0, systemTicks = 0;
    long childTicks = 0, priority = 0;
    fields >> state >> parent >> group >> session >> ttyNumber >> foreground >> flags >> faults >> faults >> faults >>
        faults >> userTicks >> systemTicks >> childTicks >> childTicks >> priority >> nice >> threads;
    if (!fields) {
        return false;
    }

    std::string status(1, state);
    status += nice < 0 ? "<" : nice > 0 ? "N" : "";
    status += session == pid ? "s" : "";
    status += threads > 1 ? "l" : "";
    status += foreground == group && ttyNumber != 0 ? "+" : "";

    unsigned long seconds = (userTicks + systemTicks) / static_cast<unsigned long>(ticksPerSecond);
    char head[64];
    std::snprintf(head, sizeof head, "%5ld %-8s %-5s %3lu:%02lu ", pid, TerminalName(ttyNumber).c_str(),
                  status.c_str(), seconds / 60, seconds % 60);
    line = head + CommandLine(std::move(arguments), name);
    return true;
}

} // namespace

std::unique_ptr<ProcessSnapshot> TakeSystemProcessSnapshot()
{
    std::vector<long> pids;
    if (std::unique_ptr<DIR, DirCloser> proc{opendir("/proc")}) {
        while (dirent* entry = readdir(proc.get())) {
            char* end = nullptr;
            long pid = std::strtol(entry->d_name, &end, 10);
            if (end != entry->d_name && *end == '\0' && pid > 0) {
                pids.push_back(pid);
            }
        }
    }
    std::sort(pids.begin(), pids.end());

    long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (ticksPerSecond <= 0) {
        ticksPerSecond = 100;
    }
    std::vector<std::string> lines;
    std::string line;
    for (long pid : pids) {
        if (ProcessLine(pid, ticksPerSecond, line)) {
            lines.push_back(line);
        }
    }
    return std::make_unique<ProcessLines>(std::move(lines));
}

} // namespace platform
