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

// The platform's snapshot, or one made by the source that tests installed.
std::unique_ptr<ProcessSnapshot> TakeProcessSnapshot();

// Replaces the platform's process list (tests); an empty source restores it.
void SetProcessSnapshotSource(std::function<std::unique_ptr<ProcessSnapshot>()> source);

// The platform's own snapshot.
std::unique_ptr<ProcessSnapshot> TakeSystemProcessSnapshot();

} // namespace platform
