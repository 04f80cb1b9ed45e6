#include "process_list.h"

#include <cstring>
#include <regex.h>

namespace platform {

namespace {

std::function<std::unique_ptr<ProcessSnapshot>()>& InstalledSource()
{
    static std::function<std::unique_ptr<ProcessSnapshot>()> source;
    return source;
}

class CompiledPattern {
public:
    explicit CompiledPattern(const std::string& pattern)
        : ok_(regcomp(&regex_, pattern.c_str(), REG_EXTENDED | REG_NOSUB) == 0)
    {
    }
    ~CompiledPattern()
    {
        if (ok_) {
            regfree(&regex_);
        }
    }
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;

    bool ok() const { return ok_; }
    bool Matches(const std::string& line) const { return regexec(&regex_, line.c_str(), 0, nullptr, 0) == 0; }

private:
    regex_t regex_;
    bool ok_;
};

// Characters that are not themselves outside a bracket expression.
constexpr const char* kSpecial = ".[]\\()*+?{}|^$";

// The end of the bracket expression that opens at `at`, or npos when it stays open.
size_t BracketEnd(const std::string& pattern, size_t at)
{
    size_t i = at + 1;
    if (i < pattern.size() && pattern[i] == '^') {
        ++i;
    }
    if (i < pattern.size() && pattern[i] == ']') {
        ++i;
    }
    for (; i < pattern.size(); ++i) {
        if (pattern[i] == ']') {
            return i;
        }
        // "[:alpha:]", "[=a=]" and "[.-.]" may hold a ']' of their own.
        if (pattern[i] == '[' && i + 1 < pattern.size() && std::strchr(":=.", pattern[i + 1]) != nullptr) {
            size_t close = pattern.find(std::string{pattern[i + 1], ']'}, i + 2);
            if (close == std::string::npos) {
                return std::string::npos;
            }
            i = close + 1;
        }
    }
    return std::string::npos;
}

// Whether the pattern is one of alternatives at its outer level (or cannot be read).
bool HasOuterAlternatives(const std::string& pattern)
{
    int depth = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        switch (pattern[i]) {
        case '\\':
            ++i;
            break;
        case '[':
            i = BracketEnd(pattern, i);
            if (i == std::string::npos) {
                return true;
            }
            break;
        case '(':
            ++depth;
            break;
        case ')':
            --depth;
            break;
        case '|':
            if (depth <= 0) {
                return true;
            }
            break;
        default:
            break;
        }
    }
    return false;
}

} // namespace

std::string LeadingLiteral(const std::string& pattern)
{
    if (HasOuterAlternatives(pattern)) {
        return "";
    }
    std::string literal;
    size_t i = 0;
    while (i < pattern.size()) {
        char c = pattern[i];
        // Bytes of a multibyte character stop it: a repeat would take the whole character.
        if (static_cast<unsigned char>(c) >= 0x80) {
            break;
        }
        if (c == '\\' && i + 1 < pattern.size() && std::strchr(kSpecial, pattern[i + 1]) != nullptr) {
            literal += pattern[i + 1];
            i += 2;
        } else if (std::strchr(kSpecial, c) == nullptr) {
            literal += c;
            ++i;
        } else {
            break;
        }
    }
    // A repeat may leave out the last character.
    if (!literal.empty() && i < pattern.size() && std::strchr("*+?{", pattern[i]) != nullptr) {
        literal.pop_back();
    }
    return literal;
}

std::optional<std::string> ProcessLines::FirstMatch(const std::string& pattern)
{
    CompiledPattern regex(pattern);
    if (!regex.ok()) {
        return std::nullopt;
    }
    for (const std::string& line : lines_) {
        if (regex.Matches(line)) {
            return line;
        }
    }
    return std::nullopt;
}

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

std::optional<std::string> LazyProcessLines::FirstMatch(const std::string& pattern)
{
    CompiledPattern regex(pattern);
    if (!regex.ok()) {
        return std::nullopt;
    }
    // A match in a line that begins in its command is a match in the command alone; the
    // command alone may match where the line does not ("^"), hence the confirmation.
    std::string literal = LeadingLiteral(pattern);
    bool commandDecides = !literal.empty() && !HeadMayHold(literal);
    for (size_t i = 0; i < processes_.size(); ++i) {
        const std::string& command = processes_[i].command;
        if (commandDecides && !command.empty() && !regex.Matches(command)) {
            continue;
        }
        const std::optional<std::string>& line = LineOf(i);
        if (line && regex.Matches(*line)) {
            return line;
        }
    }
    return std::nullopt;
}

std::unique_ptr<ProcessSnapshot> TakeProcessSnapshot()
{
    return InstalledSource() ? InstalledSource()() : TakeSystemProcessSnapshot();
}

void SetProcessSnapshotSource(std::function<std::unique_ptr<ProcessSnapshot>()> source)
{
    InstalledSource() = std::move(source);
}

} // namespace platform
