#include "../process_list.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace platform {

namespace {

constexpr long long kKernelThreadFlag = 0x00200000;  // PF_KTHREAD in /proc/<pid>/stat

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// The whole of a file under /proc (they report no size), `path` taken from the /proc
// folder `procFd`. Plain reads: a file stream per read cost more than the read itself.
bool ReadProcFile(int procFd, const char* path, std::string& contents)
{
    int fd = openat(procFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    contents.clear();
    char chunk[4096];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            contents.append(chunk, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            close(fd);
            return n == 0;
        }
    }
}

// The blank-separated integers at the start of text, in order; false when one is missing.
bool ReadNumbers(const char* text, std::initializer_list<long long*> values)
{
    for (long long* value : values) {
        char* end = nullptr;
        *value = std::strtoll(text, &end, 10);
        if (end == text) {
            return false;
        }
        text = end;
    }
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
bool ProcessLine(int procFd, long pid, long ticksPerSecond, std::string& line)
{
    char path[48];
    std::string stat;
    std::string arguments;
    std::snprintf(path, sizeof path, "%ld/stat", pid);
    if (!ReadProcFile(procFd, path, stat)) {
        return false;
    }
    // The name sits in parentheses and may itself hold blanks and parentheses.
    size_t open = stat.find('(');
    size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return false;
    }
    std::string name = stat.substr(open + 1, close - open - 1);
    size_t stateAt = stat.find_first_not_of(" \t\n", close + 1);
    if (stateAt == std::string::npos) {
        return false;
    }
    char state = stat[stateAt];
    long long parent = 0, group = 0, session = 0, ttyNumber = 0, foreground = 0, flags = 0, skipped = 0;
    long long userTicks = 0, systemTicks = 0, nice = 0, threads = 0;
    // ppid pgrp session tty_nr tpgid flags minflt cminflt majflt cmajflt utime stime cutime
    // cstime priority nice num_threads
    if (!ReadNumbers(stat.c_str() + stateAt + 1,
                     {&parent, &group, &session, &ttyNumber, &foreground, &flags, &skipped, &skipped, &skipped,
                      &skipped, &userTicks, &systemTicks, &skipped, &skipped, &skipped, &nice, &threads})) {
        return false;
    }
    // A kernel thread has no command line: one file fewer to open for each of them.
    std::snprintf(path, sizeof path, "%ld/cmdline", pid);
    if ((flags & kKernelThreadFlag) == 0 && !ReadProcFile(procFd, path, arguments)) {
        return false;
    }

    std::string status(1, state);
    status += nice < 0 ? "<" : nice > 0 ? "N" : "";
    status += session == pid ? "s" : "";
    status += threads > 1 ? "l" : "";
    status += foreground == group && ttyNumber != 0 ? "+" : "";

    auto seconds = static_cast<unsigned long>((userTicks + systemTicks) / ticksPerSecond);
    char head[64];
    std::snprintf(head, sizeof head, "%5ld %-8s %-5s %3lu:%02lu ", pid, TerminalName(ttyNumber).c_str(),
                  status.c_str(), seconds / 60, seconds % 60);
    line = head + CommandLine(std::move(arguments), name);
    return true;
}

} // namespace

std::unique_ptr<ProcessSnapshot> TakeSystemProcessSnapshot()
{
    std::unique_ptr<DIR, DirCloser> proc{opendir("/proc")};
    if (proc == nullptr) {
        return std::make_unique<ProcessLines>(std::vector<std::string>());
    }
    std::vector<long> pids;
    while (dirent* entry = readdir(proc.get())) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && pid > 0) {
            pids.push_back(pid);
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
        if (ProcessLine(dirfd(proc.get()), pid, ticksPerSecond, line)) {
            lines.push_back(line);
        }
    }
    return std::make_unique<ProcessLines>(std::move(lines));
}

} // namespace platform
