// The running processes, as lines shaped like those of "ps -ax": pid, terminal, state,
// CPU time, then the command line with its arguments.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One look at the running processes, searched by pattern.
class ProcessSnapshot {
public:
    virtual ~ProcessSnapshot() = default;
    // The first process line that the POSIX extended regular expression (the dialect of
    // "grep -E", list_regex.h) matches anywhere, in time linear in the line; nullopt when
    // none does or the pattern is invalid. A
    // process whose command lacks `requiredText` is passed over unread: the caller names a
    // text that every match holds after the line's head (pid, terminal, state, time), or "".
    virtual std::optional<std::string> FirstMatch(const std::string& pattern, const std::string& requiredText) = 0;
};

// A snapshot that knows each process's command text from the start and builds the whole
// line (which costs another file per process) only for a process whose command holds the
// required text or is not known, once at most.
class LazyProcessLines : public ProcessSnapshot {
public:
    struct Process {
        long pid = 0;
        // The command text as the line ends with it; empty while only the line knows it
        // (a process without arguments shows as "[name]").
        std::string command;
        // The whole line once known; nullopt until built.
        std::optional<std::string> line;
    };
    // The whole line of a process, or nullopt once it has gone.
    using LineMaker = std::function<std::optional<std::string>(const Process&)>;

    LazyProcessLines(std::vector<Process> processes, LineMaker makeLine);
    std::optional<std::string> FirstMatch(const std::string& pattern, const std::string& requiredText) override;

private:
    const std::optional<std::string>& LineOf(size_t index);

    std::vector<Process> processes_;
    std::vector<bool> tried_;  // the line of processes_[i] was asked for
    LineMaker makeLine_;
};

// A snapshot held as whole lines (a test's, or none at all). Each line stands for its own
// command, so the required text may lie anywhere in it.
class ProcessLines : public LazyProcessLines {
public:
    explicit ProcessLines(const std::vector<std::string>& lines);
};

// The platform's own snapshot: the processes of this user alone (an application that uses
// this user's device runs in this user's session), each read up to a cap. A command line
// longer than the cap (real ones stay under 4 KiB) matches nothing and costs one read.
constexpr size_t kMaxCommandBytes = 64 * 1024;  // as the system gives it, NULs included
std::unique_ptr<ProcessSnapshot> TakeSystemProcessSnapshot();

} // namespace platform
