#include "../process_list.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

#include "oslib/descriptors.h"

namespace platform {

namespace {

constexpr long long kKernelThreadFlag = 0x00200000;  // PF_KTHREAD in /proc/<pid>/stat

// The whole of a file under /proc (they report no size), `path` taken from the /proc
// folder `procFd`. Plain reads: a file stream per read cost more than the read itself; a
// short read is the end of a /proc file, which spares a system call per file. False, with
// `contents` empty, when the file cannot be read whole: its process may have gone, and
// no text of an earlier read, nor a part of this one, may pass for it.
bool ReadProcFile(int procFd, const char* path, std::string& contents)
{
    contents.clear();
    oslib::UniqueFd file(openat(procFd, path, O_RDONLY | O_CLOEXEC));
    return file.get() >= 0 && oslib::ReadToEnd(file.get(), contents, true);
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
// shows them. Empty for a process without arguments (a kernel thread, a zombie).
std::string CommandText(std::string arguments)
{
    arguments.erase(arguments.find_last_not_of('\0') + 1);
    for (char& c : arguments) {
        if (c == '\0') {
            c = ' ';
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return arguments;
}

// The command text of the process; false when it has gone or its command line is longer
// than the cap, of which no more than one byte past the cap is read. `buffer` is the
// snapshot's one buffer of kMaxCommandBytes + 1 bytes.
bool ReadCommand(int procFd, long pid, std::vector<char>& buffer, std::string& command)
{
    char path[48];
    std::snprintf(path, sizeof path, "%ld/cmdline", pid);
    oslib::UniqueFd file(openat(procFd, path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return false;
    }
    size_t length = 0;
    for (;;) {
        size_t wanted = buffer.size() - length;
        ssize_t got = read(file.get(), buffer.data() + length, wanted);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        length += static_cast<size_t>(got);
        // A short read is the end of a /proc file; a full buffer is past the cap.
        if (static_cast<size_t>(got) < wanted || length == buffer.size()) {
            break;
        }
    }
    if (length > kMaxCommandBytes) {
        return false;
    }
    command = CommandText(std::string(buffer.data(), length));
    return true;
}

// Whether /proc/<pid> (the process's user, or root for one that may not be inspected)
// belongs to `user`.
bool OwnedBy(int procFd, const char* pid, uid_t user)
{
    struct stat info {};
    return fstatat(procFd, pid, &info, 0) == 0 && info.st_uid == user;
}

// What /proc/<pid>/stat gives a line: everything before the command, and the name shown
// for a process without arguments.
struct LineHead {
    std::string head;
    std::string name;
    bool kernelThread = false;
};

// The head of the process's line, or false when it has gone meanwhile.
bool ReadHead(int procFd, long pid, long ticksPerSecond, LineHead& out)
{
    char path[48];
    std::string stat;
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

    std::string status(1, state);
    status += nice < 0 ? "<" : nice > 0 ? "N" : "";
    status += session == pid ? "s" : "";
    status += threads > 1 ? "l" : "";
    status += foreground == group && ttyNumber != 0 ? "+" : "";

    auto seconds = static_cast<unsigned long>((userTicks + systemTicks) / ticksPerSecond);
    char head[64];
    std::snprintf(head, sizeof head, "%5ld %-8s %-5s %3lu:%02lu ", pid, TerminalName(ttyNumber).c_str(),
                  status.c_str(), seconds / 60, seconds % 60);
    out.head = head;
    out.name = stat.substr(open + 1, close - open - 1);
    out.kernelThread = (flags & kKernelThreadFlag) != 0;
    return true;
}

// One "ps -ax"-like line; a process without arguments shows as "[name]".
std::string Line(const LineHead& head, const std::string& command)
{
    return head.head + (command.empty() ? "[" + head.name + "]" : command);
}

// The children of pid 2, the kernel's thread starter: nearly all of them are kernel
// threads, which are cheaper read from stat first (they have no command line). Only an
// order of reading: a child that is no kernel thread still gets its command line.
std::vector<long> KernelThreadHints(int procFd)
{
    std::string text;
    std::vector<long> pids;
    if (!ReadProcFile(procFd, "2/task/2/children", text)) {
        return pids;
    }
    const char* at = text.c_str();
    char* end = nullptr;
    for (long pid = std::strtol(at, &end, 10); end != at; pid = std::strtol(at, &end, 10)) {
        pids.push_back(pid);
        at = end;
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

} // namespace

std::unique_ptr<ProcessSnapshot> TakeSystemProcessSnapshot()
{
    std::shared_ptr<DIR> proc{oslib::UniqueFolder(opendir("/proc"))};
    if (proc == nullptr) {
        return std::make_unique<ProcessLines>(std::vector<std::string>());
    }
    int procFd = dirfd(proc.get());
    const uid_t user = getuid();
    std::vector<long> pids;
    while (dirent* entry = readdir(proc.get())) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && pid > 0 && OwnedBy(procFd, entry->d_name, user)) {
            pids.push_back(pid);
        }
    }
    std::sort(pids.begin(), pids.end());

    long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (ticksPerSecond <= 0) {
        ticksPerSecond = 100;
    }
    std::vector<long> kernelThreads = KernelThreadHints(procFd);
    std::vector<char> buffer(kMaxCommandBytes + 1);
    // Most processes cost one file, their command line; stat is read for a process only
    // once a search needs its whole line.
    std::vector<LazyProcessLines::Process> processes;
    for (long pid : pids) {
        LazyProcessLines::Process process{pid, {}, std::nullopt};
        LineHead head;
        if (std::binary_search(kernelThreads.begin(), kernelThreads.end(), pid)) {
            if (!ReadHead(procFd, pid, ticksPerSecond, head) ||
                (!head.kernelThread && !ReadCommand(procFd, pid, buffer, process.command))) {
                continue;
            }
            process.line = Line(head, process.command);
        } else if (!ReadCommand(procFd, pid, buffer, process.command)) {
            continue;
        }
        processes.push_back(std::move(process));
    }
    auto makeLine = [proc, ticksPerSecond](const LazyProcessLines::Process& process) -> std::optional<std::string> {
        LineHead head;
        if (!ReadHead(dirfd(proc.get()), process.pid, ticksPerSecond, head)) {
            return std::nullopt;
        }
        return Line(head, process.command);
    };
    return std::make_unique<LazyProcessLines>(std::move(processes), makeLine);
}

} // namespace platform
