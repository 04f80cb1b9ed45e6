#include "process_list.h"

#include "list_regex.h"

namespace platform {

namespace {

std::vector<LazyProcessLines::Process> WholeLines(const std::vector<std::string>& lines)
{
    std::vector<LazyProcessLines::Process> processes;
    for (const std::string& line : lines) {
        processes.push_back({0, line, line});
    }
    return processes;
}

} // namespace

LazyProcessLines::LazyProcessLines(std::vector<Process> processes, LineMaker makeLine)
    : processes_(std::move(processes)), tried_(processes_.size(), false), makeLine_(std::move(makeLine))
{
}

const std::optional<std::string>& LazyProcessLines::LineOf(size_t index)
{
    Process& process = processes_[index];
    if (!process.line && !tried_[index]) {
        process.line = makeLine_(process);
    }
    tried_[index] = true;
    return process.line;
}

std::optional<std::string> LazyProcessLines::FirstMatch(const std::string& pattern, const std::string& requiredText)
{
    ExtendedRegex regex(pattern);
    if (!regex.ok()) {
        return std::nullopt;
    }
    for (size_t i = 0; i < processes_.size(); ++i) {
        // The line holds the text only in its command, when it holds it at all.
        const std::string& command = processes_[i].command;
        if (!command.empty() && command.find(requiredText) == std::string::npos) {
            continue;
        }
        const std::optional<std::string>& line = LineOf(i);
        if (line && regex.Matches(*line)) {
            return line;
        }
    }
    return std::nullopt;
}

ProcessLines::ProcessLines(const std::vector<std::string>& lines) : LazyProcessLines(WholeLines(lines), nullptr) {}

} // namespace platform
