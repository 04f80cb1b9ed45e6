// The running processes, as lines shaped like those of "ps -ax": pid, terminal, state,
// CPU time, then the command line with its arguments.
#pragma once

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
    // "grep -E") matches anywhere; nullopt when none does or the pattern is invalid.
    virtual std::optional<std::string> FirstMatch(const std::string& pattern) = 0;
};

// A snapshot held as lines, searched with regcomp/regexec.
class ProcessLines : public ProcessSnapshot {
public:
    explicit ProcessLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    std::optional<std::string> FirstMatch(const std::string& pattern) override;
    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
};

// A snapshot that knows each process's command text from the start and builds the whole
// line (which costs another file per process) only for a process a search may find.
// The command alone decides only for patterns whose every match begins with a text that
// cannot begin before the command (see HeadMayHold); a candidate is then confirmed on
// its whole line, so FirstMatch finds what it would find on the whole lines.
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
    std::optional<std::string> FirstMatch(const std::string& pattern) override;

private:
    const std::optional<std::string>& LineOf(size_t index);

    std::vector<Process> processes_;
    std::vector<bool> tried_;  // the line of processes_[i] was asked for
    LineMaker makeLine_;
};

// The text every match of the POSIX extended regular expression begins with; empty when
// no such text is certain (alternatives, an anchor or a group first, ...).
std::string LeadingLiteral(const std::string& pattern);

// Whether text beginning with `literal` could begin before the command of a line the
// platform writes, that is inside its pid, terminal, state or time. Defined per platform.
bool HeadMayHold(const std::string& literal);

// The platform's snapshot, or one made by the source that tests installed.
std::unique_ptr<ProcessSnapshot> TakeProcessSnapshot();

// Replaces the platform's process list (tests); an empty source restores it.
void SetProcessSnapshotSource(std::function<std::unique_ptr<ProcessSnapshot>()> source);

// The platform's own snapshot.
std::unique_ptr<ProcessSnapshot> TakeSystemProcessSnapshot();

} // namespace platform
